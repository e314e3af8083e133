#pragma once

#include <cstdint>
#include <optional>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "graphics/region.h"

namespace slidesaver {

// Shared building blocks of the transition styles. The region builders return
// no region at all when they added no rectangle; otherwise the union of every
// rectangle they added (the same pixels as uniting them one at a time).

// 5-pixel bars with a period of 10: horizontal bars from the row extent `a`
// and `rowMode`, vertical bars from the column extent `b` and `colMode`
// (modes 0..5), `snap` completing a first-pass bar that misses less than it.
std::optional<Region> CreateBarRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                      std::int32_t h, int rowMode, int colMode,
                                      std::int32_t snap);
// Bars with jittered ends (modes 0..4), drawing from the shared generator.
std::optional<Region> CreateRaggedRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                         std::int32_t h, int rowMode, int colMode);
// A solid part with sprayed cells beyond its edge (modes 0..2).
std::optional<Region> CreateSprayRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                        std::int32_t h, int rowMode, int colMode);
// Overlapping squares on a grid, each chosen with chance p / 100.
std::optional<Region> CreateRandomSquaresRegion(std::int32_t w, std::int32_t h, std::int32_t p);
// The triangle P0, P1, P2, filled by the winding rule.
std::optional<Region> CreateTriangleRegion(TPoint p0, TPoint p1, TPoint p2);

// Copies `srcRect` of `src` (clipped to the bitmap) into `dest` on the canvas,
// mirrored left-right and/or top-bottom. The mirrored copy reaches one pixel
// beyond `dest` on each mirrored side; returns the rectangle it covers.
TRect MirrorCopy(TCanvas& dst, TRect dest, const Bitmap& src, bool mirrorLeftRight,
                bool mirrorTopBottom, TRect srcRect);
// dst := dst * (100 - p) div 100 + src * p div 100, byte by byte.
void BlendBitmaps(Bitmap& dst, const Bitmap& src, std::int32_t percent);
// Each destination pixel takes the source pixel that the turn by `angle`
// radians about (cx, cy) brings there; pixels whose source lies outside stay.
void RotateBitmap(Bitmap& dst, const Bitmap& src, std::int32_t cx, std::int32_t cy,
                  double angle);

}  // namespace slidesaver
