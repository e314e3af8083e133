#include "graphics/jpeg.h"

// clang-format off
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <string>

#include "base/error.h"

namespace slidesaver {
namespace {

// Colours a grayscale picture is quantised to before it is expanded to 24 bits.
constexpr int kGrayPaletteSize = 236;

// What libjpeg may allocate for one picture. The largest buffers are the coefficients a
// progressive or multi-scan file keeps, at most 8 bytes per pixel plus edge padding within the
// pixel limit (see jpeg.h); the rest is a few rows. A picture the limits accept never comes near
// it, so the memory manager refuses an allocation beyond it (the library has no backing store)
// only if the limits above missed something.
constexpr long kMaxLibraryMemory = 640L << 20;

// Why a guarded libjpeg call was abandoned.
enum class Failure { kNone, kLibrary, kTooManyScans, kInterrupted };

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

// libjpeg calls this once per iMCU row while it reads the scans of a multi-scan file and once
// per jpeg_read_scanlines call. A progressive (or non-interleaved) file may hold any number of
// scans, and every scan revisits the whole picture: a few kilobytes could keep the decoder busy
// for minutes. Stop after a generous number of scans, and at once when the caller's `shouldStop`
// says so (the player asks whether the process is to end), so that a large picture never delays
// the answer to a termination signal.
struct Progress {
  jpeg_progress_mgr manager;  // first member: libjpeg hands back a pointer to it
  DecodeStop shouldStop;
};

void OnProgress(j_common_ptr cinfo) {
  const DecodeStop shouldStop = reinterpret_cast<const Progress*>(cinfo->progress)->shouldStop;
  if (shouldStop != nullptr && shouldStop()) Abandon(cinfo, Failure::kInterrupted);
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
  explicit Decompressor(std::span<const std::uint8_t> data, DecodeStop shouldStop = nullptr) {
    jpeg_decompress_struct& cinfo = decompress_.cinfo;
    cinfo.err = jpeg_std_error(&trap_.manager);
    trap_.manager.error_exit = OnFatalError;
    trap_.manager.emit_message = OnMessage;
    progress_.manager.progress_monitor = OnProgress;
    progress_.shouldStop = shouldStop;
    const std::uint8_t* bytes = data.data();
    const unsigned long size = data.size();
    Run([&] {
      jpeg_create_decompress(&cinfo);
      cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
      cinfo.progress = &progress_.manager;
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
    if (trap_.failure == Failure::kInterrupted) throw Error("Picture decoding was interrupted");
    if (trap_.code == JERR_NO_BACKING_STORE) throw Error("JPEG image needs too much memory");
    throw Error("JPEG error #" + std::to_string(trap_.code));
  }

  // Declared first so that it is destroyed last: libjpeg's clean-up may still reach the others.
  ErrorTrap trap_{};
  Progress progress_{};
  DecompressStruct decompress_;
};

void CheckPictureSize(const jpeg_decompress_struct& cinfo) {
  const std::int64_t width = cinfo.image_width;
  const std::int64_t height = cinfo.image_height;
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (width > kMaxJpegSide || height > kMaxJpegSide) {
    throw Error("JPEG image is too large (" + size + "); at most " + std::to_string(kMaxJpegSide) +
                " pixels wide and high");
  }
  if (width * height > kMaxJpegPixels) {
    throw Error("JPEG image is too large (" + size + "); at most " +
                std::to_string(kMaxJpegPixels) + " pixels");
  }
}

// Chooses the output both decoders give: full scale, floating-point inverse DCT, block
// smoothing; BGR for colour, the library's quantised gray for grayscale, CMYK for four-channel
// files (converted row by row). Returns the colour space the file decodes to by default.
J_COLOR_SPACE ChooseOutput(jpeg_decompress_struct& cinfo) {
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
  return source;
}

void ExpandPaletteRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* in, std::uint8_t* out,
                      int count) {
  const JSAMPLE* levels = cinfo.colormap[0];
  for (int x = 0; x < count; ++x, out += 3) out[0] = out[1] = out[2] = levels[in[x]];
}

// Four-channel files come from print workflows. Adobe writes them inverted (0 = full ink), so
// with the Adobe marker a channel value is the amount of light it lets through.
void ConvertCmykRow(const jpeg_decompress_struct& cinfo, const JSAMPLE* in, std::uint8_t* out,
                    int count) {
  const bool inverted = cinfo.saw_Adobe_marker;
  for (int x = 0; x < count; ++x, in += 4, out += 3) {
    const int c = inverted ? in[0] : 255 - in[0];
    const int m = inverted ? in[1] : 255 - in[1];
    const int y = inverted ? in[2] : 255 - in[2];
    const int k = inverted ? in[3] : 255 - in[3];
    out[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
    out[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
    out[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
  }
}

// Reads output rows until `out` is full: the row numbered `top` (in the decoder's row count)
// and those after it fill `out` from its top, with the decoded row's pixels from `left` on; rows
// before `top` are read and dropped. Colour rows that fill `out` exactly are read straight into
// it, all others through one row buffer that libjpeg owns.
void ReadRows(Decompressor& decoder, J_COLOR_SPACE source, Bitmap& out, JDIMENSION left,
              JDIMENSION top) {
  jpeg_decompress_struct& cinfo = decoder.Info();
  const JDIMENSION bottom = top + static_cast<JDIMENSION>(out.Height());
  const bool bgr = source != JCS_GRAYSCALE && source != JCS_CMYK;
  if (bgr && left == 0 && cinfo.output_width == static_cast<JDIMENSION>(out.Width()) &&
      cinfo.output_scanline == top) {
    decoder.Run([&] {
      while (cinfo.output_scanline < bottom) {
        JSAMPROW row = out.ScanLine(static_cast<int>(cinfo.output_scanline - top));
        jpeg_read_scanlines(&cinfo, &row, 1);
      }
    });
    return;
  }
  JSAMPARRAY buffer = nullptr;
  decoder.Run([&] {
    buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                        cinfo.output_width * cinfo.output_components, 1);
  });
  while (cinfo.output_scanline < bottom) {
    const JDIMENSION y = cinfo.output_scanline;
    decoder.Run([&] { jpeg_read_scanlines(&cinfo, buffer, 1); });
    if (y < top) continue;
    const JSAMPLE* in = buffer[0] + static_cast<std::size_t>(left) * cinfo.output_components;
    std::uint8_t* row = out.ScanLine(static_cast<int>(y - top));
    if (source == JCS_GRAYSCALE) {
      ExpandPaletteRow(cinfo, in, row, out.Width());
    } else if (source == JCS_CMYK) {
      ConvertCmykRow(cinfo, in, row, out.Width());
    } else {
      std::memcpy(row, in, out.Stride());
    }
  }
}

// How far the decoded window reaches beyond the area, in iMCUs (the library's unit of work: 8
// pixels times the largest sampling factor). Near a window edge the library's output is not
// always what a full decode gives there:
//  - fancy upsampling treats the window's left and right edges as the picture's (one chroma
//    sample deep);
//  - block smoothing, for a progressive file whose scans leave coefficients unknown (a truncated
//    file, for one), estimates each block from the DC values of up to two blocks on either side;
//    at the window's left edge it repeats the edge block instead. A block is at most one iMCU
//    wide, so two blocks and the chroma sample next to them lie within three iMCUs;
//  - after a skip, the rows above the first one that upsampling with context rows (4:2:0,
//    4:4:0) looks at are stale. The library decodes the iMCU row before the one a skip lands in
//    for them; the skip ends one iMCU row earlier besides, to stay clear of that.
constexpr int kWindowMarginLeft = 3;
constexpr int kWindowMarginRight = 1;
constexpr int kWindowMarginAbove = 1;

}  // namespace

JpegInfo ReadJpegInfo(std::span<const std::uint8_t> data) {
  Decompressor decoder(data);
  const jpeg_decompress_struct& cinfo = decoder.Info();
  JpegInfo info;
  info.width = static_cast<int>(cinfo.image_width);
  info.height = static_cast<int>(cinfo.image_height);
  info.grayscale = cinfo.out_color_space == JCS_GRAYSCALE;
  info.progressive = cinfo.progressive_mode != FALSE;
  info.cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  return info;
}

Bitmap DecodeJpeg(std::span<const std::uint8_t> data, DecodeStop shouldStop) {
  Decompressor decoder(data, shouldStop);
  jpeg_decompress_struct& cinfo = decoder.Info();
  CheckPictureSize(cinfo);
  const J_COLOR_SPACE source = ChooseOutput(cinfo);
  decoder.Run([&] { jpeg_start_decompress(&cinfo); });
  Bitmap bitmap(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
  ReadRows(decoder, source, bitmap, 0, 0);
  // Every row is in: whatever follows the last scan cannot change the picture, so the input is
  // not read on to its end marker.
  return bitmap;
}

Bitmap DecodeJpegScaled(std::span<const std::uint8_t> data, int eighths, DecodeStop shouldStop) {
  if (eighths >= 8) return DecodeJpeg(data, shouldStop);
  Decompressor decoder(data, shouldStop);
  jpeg_decompress_struct& cinfo = decoder.Info();
  CheckPictureSize(cinfo);
  const J_COLOR_SPACE source = ChooseOutput(cinfo);
  cinfo.scale_num = static_cast<unsigned>(std::max(eighths, 1));
  cinfo.scale_denom = 8;
  decoder.Run([&] { jpeg_start_decompress(&cinfo); });
  Bitmap bitmap(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
  ReadRows(decoder, source, bitmap, 0, 0);
  return bitmap;
}

Bitmap DecodeJpegArea(std::span<const std::uint8_t> data, const TRect& area,
                      DecodeStop shouldStop) {
  if (area.IsEmpty()) return Bitmap();
  Decompressor decoder(data, shouldStop);
  jpeg_decompress_struct& cinfo = decoder.Info();
  CheckPictureSize(cinfo);
  const std::int64_t width = cinfo.image_width;
  const std::int64_t height = cinfo.image_height;
  if (area.Left < 0 || area.Top < 0 || area.Right > width || area.Bottom > height) {
    throw Error("The area to decode lies outside the JPEG image (" + std::to_string(width) +
                " x " + std::to_string(height) + ")");
  }
  const J_COLOR_SPACE source = ChooseOutput(cinfo);
  decoder.Run([&] { jpeg_start_decompress(&cinfo); });

  auto left = static_cast<JDIMENSION>(area.Left);
  auto top = static_cast<JDIMENSION>(area.Top);
  // Grayscale is dithered with an error that runs along whole rows and down from the top row, so
  // a gray picture is decoded in full width from its top.
  if (source != JCS_GRAYSCALE) {
    const std::int64_t mcuWidth =
        static_cast<std::int64_t>(cinfo.max_h_samp_factor) * cinfo.min_DCT_scaled_size;
    const std::int64_t mcuHeight =
        static_cast<std::int64_t>(cinfo.max_v_samp_factor) * cinfo.min_DCT_scaled_size;
    const std::int64_t windowLeft =
        std::max<std::int64_t>(0, area.Left - kWindowMarginLeft * mcuWidth);
    const std::int64_t windowRight = std::min(width, area.Right + kWindowMarginRight * mcuWidth);
    const std::int64_t skipRows =
        std::max<std::int64_t>(0, (area.Top / mcuHeight - kWindowMarginAbove) * mcuHeight);
    auto xoffset = static_cast<JDIMENSION>(windowLeft);
    auto columns = static_cast<JDIMENSION>(windowRight - windowLeft);
    decoder.Run([&] {
      // Moves xoffset left to an iMCU boundary.
      if (columns < cinfo.output_width) jpeg_crop_scanline(&cinfo, &xoffset, &columns);
      if (skipRows > 0) jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(skipRows));
    });
    left -= xoffset;
  }
  Bitmap bitmap(area.Width(), area.Height());
  ReadRows(decoder, source, bitmap, left, top);
  return bitmap;
}

}  // namespace slidesaver
