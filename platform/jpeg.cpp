#include "platform/jpeg.h"

// clang-format off
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
// clang-format on

#include <string>

#include "platform/error.h"

namespace slidesaver {
namespace {

// Colours a grayscale picture is quantised to before it is expanded to 24 bits.
constexpr int kGrayPaletteSize = 236;

// Why a guarded libjpeg call was abandoned.
enum class Failure { kNone, kLibrary, kTooManyScans };

// libjpeg is plain C: a fatal error must not unwind through it as a C++ exception. The error
// handler long-jumps back to the guarded call instead; the caller turns the recorded failure
// into an Error once it is back in C++ frames.
struct ErrorTrap {
  jpeg_error_mgr manager;  // first member: libjpeg hands back a pointer to it
  std::jmp_buf resume;
  Failure failure;
  int code;
};

ErrorTrap& TrapOf(j_common_ptr cinfo) { return *reinterpret_cast<ErrorTrap*>(cinfo->err); }

[[noreturn]] void Abandon(j_common_ptr cinfo, Failure failure) {
  ErrorTrap& trap = TrapOf(cinfo);
  trap.failure = failure;
  trap.code = cinfo->err->msg_code;
  std::longjmp(trap.resume, 1);
}

[[noreturn]] void OnFatalError(j_common_ptr cinfo) { Abandon(cinfo, Failure::kLibrary); }

void OnMessage(j_common_ptr, int) {}  // warnings and trace messages are ignored

// A progressive (or non-interleaved) file may hold any number of scans, and every scan revisits
// the whole picture: a few kilobytes could keep the decoder busy for minutes. Stop after a
// generous number of scans.
void OnProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    Abandon(cinfo, Failure::kTooManyScans);
  }
}

// The libjpeg decompressor, destroyed with its owner. Zeroed first so that destroying one whose
// creation failed half-way is safe.
struct DecompressStruct {
  DecompressStruct() = default;
  DecompressStruct(const DecompressStruct&) = delete;
  DecompressStruct& operator=(const DecompressStruct&) = delete;
  ~DecompressStruct() { jpeg_destroy_decompress(&cinfo); }

  jpeg_decompress_struct cinfo{};
};

// One decompressor reading a JPEG file from memory, header already read. Every libjpeg call goes
// through Run(), which arms the error trap; objects with destructors only live in the frames
// above it, so the long jump never skips one.
class Decompressor {
 public:
  explicit Decompressor(std::span<const std::uint8_t> data) {
    jpeg_decompress_struct& cinfo = decompress_.cinfo;
    cinfo.err = jpeg_std_error(&trap_.manager);
    trap_.manager.error_exit = OnFatalError;
    trap_.manager.emit_message = OnMessage;
    progress_.progress_monitor = OnProgress;
    const std::uint8_t* bytes = data.data();
    const unsigned long size = data.size();
    Run([&] {
      jpeg_create_decompress(&cinfo);
      cinfo.progress = &progress_;
      jpeg_mem_src(&cinfo, bytes, size);  // fails on empty input
      jpeg_read_header(&cinfo, TRUE);
    });
  }

  jpeg_decompress_struct& Info() { return decompress_.cinfo; }

  // Calls `step` with the error trap armed; throws the failure once libjpeg is left behind.
  template <typename Step>
  void Run(Step&& step) {
    if (!RunGuarded(step)) ThrowFailure();
  }

 private:
  template <typename Step>
  bool RunGuarded(Step& step) {
    trap_.failure = Failure::kNone;
    if (setjmp(trap_.resume) != 0) return false;
    step();
    return true;
  }

  [[noreturn]] void ThrowFailure() const {
    if (trap_.failure == Failure::kTooManyScans) {
      throw Error("JPEG image has too many scans (more than " + std::to_string(kMaxJpegScans) +
                  ")");
    }
    throw Error("JPEG error #" + std::to_string(trap_.code));
  }

  // Declared first so that it is destroyed last: libjpeg's clean-up may still reach the others.
  ErrorTrap trap_{};
  jpeg_progress_mgr progress_{};
  DecompressStruct decompress_;
};

void CheckPictureSize(const jpeg_decompress_struct& cinfo) {
  const std::int64_t width = cinfo.image_width;
  const std::int64_t height = cinfo.image_height;
  if (width > kMaxJpegSide || height > kMaxJpegSide || width * height > kMaxJpegPixels) {
    throw Error("JPEG image is too large (" + std::to_string(width) + " x " +
                std::to_string(height) + ")");
  }
}

void ReadBgrRows(Decompressor& decoder, Bitmap& bitmap) {
  jpeg_decompress_struct& cinfo = decoder.Info();
  decoder.Run([&] {
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = bitmap.ScanLine(static_cast<int>(cinfo.output_scanline));
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
  });
}

// Reads one row per call into a row buffer that libjpeg owns, then lets `expand` turn it into
// the bitmap row.
template <typename Expand>
void ReadConvertedRows(Decompressor& decoder, Bitmap& bitmap, Expand expand) {
  jpeg_decompress_struct& cinfo = decoder.Info();
  JSAMPARRAY buffer = nullptr;
  decoder.Run([&] {
    buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                        cinfo.output_width * cinfo.output_components, 1);
  });
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    decoder.Run([&] { jpeg_read_scanlines(&cinfo, buffer, 1); });
    expand(buffer[0], bitmap.ScanLine(y));
  }
}

void ExpandPaletteRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* in, std::uint8_t* out) {
  const JSAMPLE* levels = cinfo.colormap[0];
  for (JDIMENSION x = 0; x < cinfo.output_width; ++x, out += 3) {
    out[0] = out[1] = out[2] = levels[in[x]];
  }
}

// Four-channel files come from print workflows. Adobe writes them inverted (0 = full ink), so
// with the Adobe marker a channel value is the amount of light it lets through.
void ConvertCmykRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* in, std::uint8_t* out) {
  const bool inverted = cinfo.saw_Adobe_marker;
  for (JDIMENSION x = 0; x < cinfo.output_width; ++x, in += 4, out += 3) {
    const int c = inverted ? in[0] : 255 - in[0];
    const int m = inverted ? in[1] : 255 - in[1];
    const int y = inverted ? in[2] : 255 - in[2];
    const int k = inverted ? in[3] : 255 - in[3];
    out[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
    out[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
    out[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
  }
}

}  // namespace

JpegInfo ReadJpegInfo(std::span<const std::uint8_t> data) {
  Decompressor decoder(data);
  const jpeg_decompress_struct& cinfo = decoder.Info();
  JpegInfo info;
  info.width = static_cast<int>(cinfo.image_width);
  info.height = static_cast<int>(cinfo.image_height);
  info.grayscale = cinfo.out_color_space == JCS_GRAYSCALE;
  info.progressive = cinfo.progressive_mode != FALSE;
  return info;
}

Bitmap DecodeJpeg(std::span<const std::uint8_t> data) {
  Decompressor decoder(data);
  jpeg_decompress_struct& cinfo = decoder.Info();
  CheckPictureSize(cinfo);

  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_block_smoothing = TRUE;
  cinfo.buffered_image = FALSE;
  const J_COLOR_SPACE source = cinfo.out_color_space;
  if (source == JCS_GRAYSCALE) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = kGrayPaletteSize;
  } else if (source != JCS_CMYK) {
    cinfo.out_color_space = JCS_EXT_BGR;
  }

  decoder.Run([&] { jpeg_start_decompress(&cinfo); });
  Bitmap bitmap(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
  if (source == JCS_GRAYSCALE) {
    ReadConvertedRows(decoder, bitmap, [&](const JSAMPLE* in, std::uint8_t* out) {
      ExpandPaletteRow(cinfo, in, out);
    });
  } else if (source == JCS_CMYK) {
    ReadConvertedRows(decoder, bitmap, [&](const JSAMPLE* in, std::uint8_t* out) {
      ConvertCmykRow(cinfo, in, out);
    });
  } else {
    ReadBgrRows(decoder, bitmap);
  }
  // Every row is in: whatever follows the last scan cannot change the picture, so the input is
  // not read on to its end marker.
  return bitmap;
}

}  // namespace slidesaver
