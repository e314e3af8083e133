#pragma once

#include <cstdint>
#include <span>

#include "base/geometry.h"
#include "graphics/bitmap.h"

namespace slidesaver {

// Limits that protect the decoder from pictures whose header promises far more work or memory
// than any real photo needs. DecodeJpeg and DecodeJpegArea refuse a picture wider or higher than
// kMaxJpegSide or with more than kMaxJpegPixels pixels before allocating anything for it, and stop
// decoding a picture with more than kMaxJpegScans scans. ReadJpegInfo reports such a header as it
// is.
//
// kMaxJpegPixels (64 megapixels, 8192 x 8192) bounds what one picture can cost:
//  - a full decode holds 3 bytes per pixel, at most 192 MiB;
//  - a progressive or multi-scan file keeps all its DCT coefficients until the last scan is in,
//    whatever part of it is shown: 2 bytes per pixel for each full-size component (3 for 4:2:0
//    colour, 6 for 4:4:4, 8 for four-channel CMYK), at most 512 MiB plus edge padding;
//  - every scan of such a file visits every block of its components once (kMaxJpegScans).
inline constexpr int kMaxJpegSide = 32768;
inline constexpr std::int64_t kMaxJpegPixels = std::int64_t{1} << 26;
inline constexpr int kMaxJpegScans = 500;

// What the JPEG header tells before any pixel is decoded.
struct JpegInfo {
  int width = 0;
  int height = 0;
  bool grayscale = false;    // the decoder's output colour space is grayscale
  bool progressive = false;
  bool cmyk = false;         // four channels: CMYK or YCCK
};

// Asked while a picture decodes, about once per row of blocks: true abandons the decode with
// Error("Picture decoding was interrupted"). Any of the decoders below may be given one.
using DecodeStop = bool (*)();

// Reads the header of a JPEG file held in memory. Fatal decoder errors raise
// Error("JPEG error #N") with the library's message number; warnings are ignored.
JpegInfo ReadJpegInfo(std::span<const std::uint8_t> data);

// Decodes the whole picture at full scale (floating-point inverse DCT, block
// smoothing) into a 24-bit BGR bitmap. A grayscale picture is quantised by the
// library to at most 236 levels and then expanded to 24 bits. Errors as above;
// a picture over the limits raises Error("JPEG image is too large (W x H); ..."),
// a `shouldStop` that says true Error("Picture decoding was interrupted").
Bitmap DecodeJpeg(std::span<const std::uint8_t> data, DecodeStop shouldStop = nullptr);

// The pixels of `area` (picture coordinates, inside the picture) as DecodeJpeg gives them, in a
// bitmap of the area's size, without decoding the whole picture: rows below the area are not
// decoded, rows above it are skipped as far as the library can (a grayscale picture is decoded
// from its top, since its dithering runs across whole rows) and colour pictures decode only the
// columns around the area. Memory in use grows with the area's size (and the picture's width for
// grayscale), not with the picture's, apart from the coefficient store a progressive or
// multi-scan file needs. An empty area gives an empty bitmap without reading the data; an area
// reaching outside the picture raises Error. Otherwise errors as DecodeJpeg.
Bitmap DecodeJpegArea(std::span<const std::uint8_t> data, const TRect& area,
                      DecodeStop shouldStop = nullptr);

// The whole picture decoded at `eighths` / 8 of its size (1 to 8; each side rounded up) by the
// library's scaled inverse DCT, which costs about that share of a full decode. 8 is DecodeJpeg.
// Errors as DecodeJpeg.
Bitmap DecodeJpegScaled(std::span<const std::uint8_t> data, int eighths,
                        DecodeStop shouldStop = nullptr);

}  // namespace slidesaver
