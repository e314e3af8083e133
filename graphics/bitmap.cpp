#include "graphics/bitmap.h"

#include <algorithm>
#include <cstring>

namespace slidesaver {

Bitmap::Bitmap(int width, int height)
    : width_(width > 0 && height > 0 ? width : 0),
      height_(width > 0 && height > 0 ? height : 0),
      pixels_(static_cast<std::size_t>(width_) * 3 * static_cast<std::size_t>(height_), 0) {}

Bitmap Bitmap::Unfilled(int width, int height) {
  Bitmap b;
  if (width <= 0 || height <= 0) return b;
  b.width_ = width;
  b.height_ = height;
  b.pixels_.resize(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
  return b;
}

void Bitmap::Resize(int width, int height, std::uint32_t fill) {
  if (width == width_ && height == height_) return;
  Bitmap resized = Unfilled(width, height);
  resized.Fill(fill);
  const int w = std::min(width_, resized.width_);
  const int h = std::min(height_, resized.height_);
  for (int y = 0; y < h; ++y) {
    std::memcpy(resized.ScanLine(y), ScanLine(y), static_cast<std::size_t>(w) * 3);
  }
  *this = std::move(resized);
}

void Bitmap::Fill(std::uint32_t rgb) {
  if (Empty()) return;
  std::uint8_t* row = ScanLine(0);
  for (int x = 0; x < width_; ++x) {
    row[3 * x] = static_cast<std::uint8_t>(rgb >> 16);
    row[3 * x + 1] = static_cast<std::uint8_t>(rgb >> 8);
    row[3 * x + 2] = static_cast<std::uint8_t>(rgb);
  }
  for (int y = 1; y < height_; ++y) std::memcpy(ScanLine(y), row, Stride());
}

std::uint32_t Bitmap::Pixel(int x, int y) const {
  const std::uint8_t* p = ScanLine(y) + 3 * x;
  return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

void Bitmap::SetPixel(int x, int y, std::uint32_t rgb) {
  std::uint8_t* p = ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(rgb >> 16);
  p[1] = static_cast<std::uint8_t>(rgb >> 8);
  p[2] = static_cast<std::uint8_t>(rgb);
}

}  // namespace slidesaver
