#include "graphics/photo.h"

#include <algorithm>
#include <cmath>

#include "base/error.h"
#include "graphics/jpeg.h"
#include "graphics/photo_metadata.h"

namespace slidesaver {

void CheckPictureSize(const std::string& path, std::int64_t width, std::int64_t height) {
  if (width > kMaxJpegSide || height > kMaxJpegSide || width * height > kMaxJpegPixels) {
    throw Error("\"" + path + "\" is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; the player shows pictures of at most " + std::to_string(kMaxJpegPixels) +
                " pixels (and " + std::to_string(kMaxJpegSide) + " on a side)");
  }
}

bool FitsPhotoBox(std::int64_t width, std::int64_t height, const PhotoOptions& options) {
  return (options.maxWidth <= 0 || width <= options.maxWidth) &&
         (options.maxHeight <= 0 || height <= options.maxHeight);
}

std::pair<int, int> ShrunkPhotoSize(std::int64_t width, std::int64_t height,
                                    const PhotoOptions& options) {
  double scale = 1.0;
  if (options.maxWidth > 0) scale = std::min(scale, double(options.maxWidth) / double(width));
  if (options.maxHeight > 0) scale = std::min(scale, double(options.maxHeight) / double(height));
  const auto side = [&](std::int64_t length, int box) {
    const auto shrunk = static_cast<std::int64_t>(std::lround(double(length) * scale));
    return static_cast<int>(std::clamp<std::int64_t>(shrunk, 1, box > 0 ? box : length));
  };
  return {side(width, options.maxWidth), side(height, options.maxHeight)};
}

bool KeepsItsBytes(std::span<const std::uint8_t> bytes, int orientation,
                   const PhotoOptions& options) {
  if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || orientation > 1) return false;
  // The player's size limits were checked before.
  try {
    const JpegInfo info = ReadJpegInfo(bytes);
    return !info.cmyk && FitsPhotoBox(info.width, info.height, options);
  } catch (const Error&) {
    return false;
  }
}

int JpegExifOrientation(std::span<const std::uint8_t> jpeg) {
  return ReadPhotoMetadata(JpegMetadataBlocks(jpeg)).orientation;
}

Bitmap UprightBitmap(const Bitmap& stored, int orientation) {
  if (orientation < 2 || orientation > 8) return stored;
  const int sw = stored.Width(), sh = stored.Height();
  const bool turned = orientation >= 5;
  Bitmap upright(turned ? sh : sw, turned ? sw : sh);
  for (int y = 0; y < upright.Height(); ++y) {
    std::uint8_t* out = upright.ScanLine(y);
    for (int x = 0; x < upright.Width(); ++x, out += 3) {
      // The stored pixel shown at (x, y).
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = sw - 1 - x; break;
        case 3: sx = sw - 1 - x; sy = sh - 1 - y; break;
        case 4: sy = sh - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = sh - 1 - x; break;
        case 7: sx = sw - 1 - y; sy = sh - 1 - x; break;
        case 8: sx = sw - 1 - y; sy = x; break;
      }
      const std::uint8_t* in = stored.ScanLine(sy) + std::size_t(sx) * 3;
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
  return upright;
}

std::string ConvertedPhotoName(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + ".jpg";
}

}  // namespace slidesaver
