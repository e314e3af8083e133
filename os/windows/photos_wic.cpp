// The system's photo library on Windows: the Windows Imaging Component. Its decoders are the
// system's (JPEG, PNG, GIF, TIFF, BMP, and HEIF, WebP or AVIF where their extensions are
// installed), as are its scaler and its JPEG encoder.

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "base/error.h"
#include "graphics/photo.h"
#include "graphics/photo_metadata.h"
#include "os/windows/system_error.h"
#include "system/file_io.h"
#include "system/files.h"

namespace slidesaver {
namespace {

// Owns one COM reference.
template <typename T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() { Reset(); }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }

 private:
  T* p_ = nullptr;
};

// COM on the calling thread, for as long as the thread runs.
void EnterCom() {
  struct Apartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ~Apartment() {
      if (SUCCEEDED(result)) CoUninitialize();
    }
  };
  thread_local Apartment apartment;
  (void)apartment;
}

// What went wrong, as a user can take it in.
std::string Reason(HRESULT result) {
  switch (result) {
    case WINCODEC_ERR_COMPONENTNOTFOUND:
      return "Windows has no decoder for its format";
    case WINCODEC_ERR_BADHEADER:
    case WINCODEC_ERR_BADIMAGE:
    case WINCODEC_ERR_BADSTREAMDATA:
    case WINCODEC_ERR_STREAMREAD:
    case WINCODEC_ERR_FRAMEMISSING:
    case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
      return "the picture is damaged or in no format Windows reads";
    case E_OUTOFMEMORY:
      return "there is not enough memory";
    default: {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
      return "the Windows Imaging Component reports error " + std::string(code);
    }
  }
}

void Check(HRESULT result, const std::string& path, const char* doing) {
  if (FAILED(result)) throw Error("\"" + path + "\": " + doing + ": " + Reason(result));
}

// The EXIF orientation (1 to 8) the frame's metadata gives; a JPEG's own EXIF block where the
// metadata reader gives none (Wine's has no JPEG metadata); else 1.
int Orientation(IWICBitmapFrameDecode* frame, std::span<const std::uint8_t> bytes) {
  Com<IWICMetadataQueryReader> reader;
  if (FAILED(frame->GetMetadataQueryReader(reader.Out()))) return JpegExifOrientation(bytes);
  // The photo property first (every format that has one), then the EXIF tag 274 where JPEG
  // and TIFF keep it.
  for (const wchar_t* name :
       {L"System.Photo.Orientation", L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}"}) {
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(reader->GetMetadataByName(name, &value))) {
      int orientation = 0;
      if (value.vt == VT_UI2) orientation = value.uiVal;
      else if (value.vt == VT_UI4) orientation = static_cast<int>(value.ulVal);
      else if (value.vt == VT_I4) orientation = value.lVal;
      PropVariantClear(&value);
      if (orientation >= 1 && orientation <= 8) return orientation;
    }
  }
  return JpegExifOrientation(bytes);
}

// Premultiplied BGRA holds each pixel as it looks over black; its first three bytes are the
// picture on the saver's black.
Bitmap BgrOnBlack(IWICBitmapSource* source, UINT width, UINT height, const std::string& path) {
  const std::size_t stride = std::size_t{width} * 4;
  std::vector<std::uint8_t> bgra(stride * height);
  Check(source->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(bgra.size()),
                           bgra.data()),
        path, "cannot be decoded");
  Bitmap bgr(static_cast<int>(width), static_cast<int>(height));
  for (UINT y = 0; y < height; ++y) {
    const std::uint8_t* in = bgra.data() + stride * y;
    std::uint8_t* out = bgr.ScanLine(static_cast<int>(y));
    for (UINT x = 0; x < width; ++x, in += 4, out += 3) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
  return bgr;
}

std::vector<std::uint8_t> EncodeJpeg(IWICImagingFactory* factory, Bitmap& bgr, int quality,
                                     const std::string& path) {
  const UINT width = static_cast<UINT>(bgr.Width()), height = static_cast<UINT>(bgr.Height());
  const char* doing = "cannot be stored as a JPEG";
  Com<IStream> stream;
  Check(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()), path, doing);
  Com<IWICBitmapEncoder> encoder;
  Check(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.Out()), path, doing);
  Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), path, doing);
  Com<IWICBitmapFrameEncode> frame;
  Com<IPropertyBag2> options;
  Check(encoder->CreateNewFrame(frame.Out(), options.Out()), path, doing);
  PROPBAG2 option{};
  option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_R4;
  value.fltVal = static_cast<float>(quality) / 100.0f;
  Check(options->Write(1, &option, &value), path, doing);
  Check(frame->Initialize(options.Get()), path, doing);
  Check(frame->SetSize(width, height), path, doing);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  Check(frame->SetPixelFormat(&format), path, doing);
  if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    throw Error("\"" + path + "\": " + doing + ": the JPEG encoder takes no 24-bit colour");
  }
  const UINT stride = static_cast<UINT>(bgr.Stride());
  Check(frame->WritePixels(height, stride, stride * height, bgr.ScanLine(0)), path, doing);
  Check(frame->Commit(), path, doing);
  Check(encoder->Commit(), path, doing);
  STATSTG stat{};
  Check(stream->Stat(&stat, STATFLAG_NONAME), path, doing);
  HGLOBAL memory = nullptr;
  Check(GetHGlobalFromStream(stream.Get(), &memory), path, doing);
  const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
  if (bytes == nullptr) throw Error("\"" + path + "\": " + doing + ": " + Reason(E_OUTOFMEMORY));
  std::vector<std::uint8_t> jpeg(bytes, bytes + stat.cbSize.QuadPart);
  GlobalUnlock(memory);
  return jpeg;
}

// WICBitmapInterpolationModeHighQualityCubic, which MinGW's header does not name yet.
constexpr auto kHighQualityCubic = static_cast<WICBitmapInterpolationMode>(4);

}  // namespace

PreparedPhoto PreparePhoto(const std::string& path, const PhotoOptions& options) {
  EnterCom();
  const char* reading = "cannot be read as a picture";
  std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  Com<IWICImagingFactory> factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, factory.OutVoid()),
        path, "cannot be read: the Windows Imaging Component is missing");
  Com<IWICStream> stream;
  Check(factory->CreateStream(stream.Out()), path, reading);
  if (bytes.size() > 0xFFFFFFFFu) throw Error("\"" + path + "\": " + reading + ": it is too large");
  Check(stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size())), path, reading);
  Com<IWICBitmapDecoder> decoder;
  Check(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                         decoder.Out()),
        path, reading);
  Com<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, frame.Out()), path, reading);
  UINT storedWidth = 0, storedHeight = 0;
  Check(frame->GetSize(&storedWidth, &storedHeight), path, reading);
  const int orientation = Orientation(frame.Get(), bytes);
  const bool turned = orientation >= 5;
  const std::int64_t width = turned ? storedHeight : storedWidth;
  const std::int64_t height = turned ? storedWidth : storedHeight;
  // Before anything is decoded: the picture cannot end up larger than this.
  const auto bound = [](std::int64_t side, int box) {
    return box > 0 ? std::min<std::int64_t>(side, box) : side;
  };
  CheckPictureSize(path, bound(width, options.maxWidth), bound(height, options.maxHeight));

  PreparedPhoto photo;
  // Texts and dates from a JPEG's own blocks (Wine's metadata reader has none for JPEG).
  photo.metadata = ReadPhotoMetadata(JpegMetadataBlocks(bytes));
  if (KeepsItsBytes(bytes, orientation, options)) {
    photo.name = FileNamePart(path);
    photo.width = static_cast<int>(width);
    photo.height = static_cast<int>(height);
    photo.jpeg = std::move(bytes);
    return photo;
  }
  // Any pixel format to premultiplied BGRA, shrunk while still stored (never enlarged), then
  // turned upright (Wine's flip-rotator does not turn).
  Com<IWICFormatConverter> converter;
  Check(factory->CreateFormatConverter(converter.Out()), path, reading);
  Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                              nullptr, 0.0, WICBitmapPaletteTypeCustom),
        path, "cannot be converted to colour");
  IWICBitmapSource* source = converter.Get();
  const auto [outWidth, outHeight] = ShrunkPhotoSize(width, height, options);
  Com<IWICBitmapScaler> scaler;
  if (outWidth != width || outHeight != height) {
    const UINT scaledWidth = static_cast<UINT>(turned ? outHeight : outWidth);
    const UINT scaledHeight = static_cast<UINT>(turned ? outWidth : outHeight);
    Check(factory->CreateBitmapScaler(scaler.Out()), path, "cannot be shrunk");
    // High-quality cubic came with Windows 10; Fant is the best before it.
    if (FAILED(scaler->Initialize(source, scaledWidth, scaledHeight,
                                  kHighQualityCubic))) {
      Check(scaler->Initialize(source, scaledWidth, scaledHeight, WICBitmapInterpolationModeFant),
            path, "cannot be shrunk");
    }
    source = scaler.Get();
  }
  const UINT storedOutWidth = static_cast<UINT>(turned ? outHeight : outWidth);
  const UINT storedOutHeight = static_cast<UINT>(turned ? outWidth : outHeight);
  Bitmap upright = UprightBitmap(BgrOnBlack(source, storedOutWidth, storedOutHeight, path), orientation);
  photo.jpeg = EncodeJpeg(factory.Get(), upright, options.quality, path);
  photo.name = ConvertedPhotoName(path);
  photo.width = outWidth;
  photo.height = outHeight;
  photo.converted = true;
  CheckPictureSize(path, photo.width, photo.height);
  return photo;
}

}  // namespace slidesaver
