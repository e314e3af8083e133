#pragma once

#include <cstdint>
#include <span>

#include "platform/bitmap.h"

namespace slidesaver {

// Limits that protect the decoder from pictures whose header promises far more work or memory
// than any real photo needs. DecodeJpeg refuses a picture wider or higher than kMaxJpegSide or
// with more than kMaxJpegPixels pixels before allocating anything for it, and stops decoding a
// picture with more than kMaxJpegScans scans. ReadJpegInfo reports such a header as it is.
inline constexpr int kMaxJpegSide = 32768;
inline constexpr std::int64_t kMaxJpegPixels = std::int64_t{1} << 28;
inline constexpr int kMaxJpegScans = 500;

// What the JPEG header tells before any pixel is decoded.
struct JpegInfo {
  int width = 0;
  int height = 0;
  bool grayscale = false;    // the decoder's output colour space is grayscale
  bool progressive = false;
};

// Reads the header of a JPEG file held in memory. Fatal decoder errors raise
// Error("JPEG error #N") with the library's message number; warnings are ignored.
JpegInfo ReadJpegInfo(std::span<const std::uint8_t> data);

// Decodes the whole picture at full scale (floating-point inverse DCT, block
// smoothing) into a 24-bit BGR bitmap. A grayscale picture is quantised by the
// library to at most 236 levels and then expanded to 24 bits. Errors as above.
Bitmap DecodeJpeg(std::span<const std::uint8_t> data);

}  // namespace slidesaver
