#include "graphics/photo.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/error.h"
#include "graphics/jpeg.h"

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
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return 1;
  // The markers before the first frame header; APP1 with "Exif\0\0" holds a TIFF structure.
  for (std::size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
    const std::uint8_t marker = jpeg[at + 1];
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || (marker >= 0xC0 && marker <= 0xCF &&
                                                              marker != 0xC4 && marker != 0xCC)) {
      break;
    }
    const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    const std::span<const std::uint8_t> segment = jpeg.subspan(at + 4, length - 2);
    static constexpr std::uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    if (marker == 0xE1 && segment.size() >= 14 && std::equal(kExif, kExif + 6, segment.begin())) {
      const std::span<const std::uint8_t> tiff = segment.subspan(6);
      const bool big = tiff[0] == 'M' && tiff[1] == 'M';
      if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
      const auto read = [&](std::size_t offset, int bytes) -> std::optional<std::uint32_t> {
        if (offset + bytes > tiff.size()) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
          const std::uint32_t b = tiff[offset + (big ? i : bytes - 1 - i)];
          value = value << 8 | b;
        }
        return value;
      };
      const auto ifd = read(4, 4);
      const auto count = ifd ? read(*ifd, 2) : std::nullopt;
      for (std::uint32_t i = 0; count && i < *count; ++i) {
        const std::size_t entry = *ifd + 2 + 12 * std::size_t{i};
        const auto tag = read(entry, 2), type = read(entry + 2, 2), value = read(entry + 8, 2);
        if (!tag || !type || !value) break;
        if (*tag == 0x0112 && *type == 3) return *value >= 1 && *value <= 8 ? int(*value) : 1;
      }
      return 1;
    }
    at += 2 + length;
  }
  return 1;
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
