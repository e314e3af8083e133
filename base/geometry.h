#pragma once

#include <algorithm>
#include <cstdint>

namespace slidesaver {

struct TPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
  bool operator==(const TSize&) const = default;
};

// Left, top, right, bottom; right and bottom are exclusive.
struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;

  std::int32_t Width() const { return Right - Left; }
  std::int32_t Height() const { return Bottom - Top; }
  // True when the rectangle holds no pixel (also for negative extents).
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(std::int32_t x, std::int32_t y) const {
    return x >= Left && x < Right && y >= Top && y < Bottom;
  }
  void Offset(std::int32_t dx, std::int32_t dy) {
    Left += dx;
    Right += dx;
    Top += dy;
    Bottom += dy;
  }
  bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(std::int32_t left, std::int32_t top, std::int32_t right,
                     std::int32_t bottom) {
  return TRect{left, top, right, bottom};
}

constexpr TRect Bounds(std::int32_t left, std::int32_t top, std::int32_t width,
                       std::int32_t height) {
  return TRect{left, top, left + width, top + height};
}

// The common part of two rectangles; an empty rectangle (all 0) when they do not meet.
inline TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  return r.IsEmpty() ? TRect{} : r;
}

// The smallest rectangle holding both; an empty one does not count.
inline TRect UnionRect(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b.IsEmpty() ? TRect{} : b;
  if (b.IsEmpty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
}

}  // namespace slidesaver
