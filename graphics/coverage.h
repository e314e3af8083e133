#pragma once

// Drawing through a coverage mask (anti-aliased text): shared by the systems'
// text implementations.

#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/region.h"

namespace slidesaver {

// One channel moved from `dst` towards `color` by coverage/255, rounded to nearest.
inline std::uint8_t BlendCoverage(std::uint8_t dst, std::uint8_t color, std::uint8_t coverage) {
  const int t = (static_cast<int>(color) - dst) * coverage;
  const int step = t >= 0 ? (t + 127) / 255 : -((-t + 127) / 255);
  return static_cast<std::uint8_t>(dst + step);
}

// The areas of the bitmap that may be written: the bitmap, cut to the clip.
inline std::vector<TRect> PaintableRects(const Bitmap& dst, const Region* clip) {
  const TRect bounds = Rect(0, 0, dst.Width(), dst.Height());
  if (!clip) return bounds.IsEmpty() ? std::vector<TRect>{} : std::vector<TRect>{bounds};
  std::vector<TRect> rects;
  for (const TRect& r : clip->Rects()) {
    const TRect part = IntersectRect(r, bounds);
    if (!part.IsEmpty()) rects.push_back(part);
  }
  return rects;
}

}  // namespace slidesaver
