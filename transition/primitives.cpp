#include "transition/primitives.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "platform/random.h"

namespace slidesaver {
namespace {

using RectList = std::vector<TRect>;

std::optional<Region> BuildRegion(const RectList& rects) {
  if (rects.empty()) return std::nullopt;
  return Region::FromRects(rects);
}

// The bars of one direction of CreateBarRegion, written for horizontal bars:
// `along` is the bar length (the width), `across` the extent the bars are
// stacked over (the height). `add(l, t, r, b)` receives the bar in those
// coordinates, so the column pass only has to exchange the axes.
template <typename Add>
void AddBars(std::int32_t extent, std::int32_t along, std::int32_t across, int mode,
             std::int32_t snap, Add add) {
  if (mode == 0) return;
  if (extent > along) {
    // Second pass: the even bars are full, the odd bars grow.
    for (std::int32_t i = 5; i < across + 5; i += 10) {
      add(0, i - 5, along, i);
      if (mode == 1 || mode == 4) add(2 * along - extent, i, along, i + 5);
      if (mode == 2 || mode == 5) add(0, i, extent - along, i + 5);
    }
    return;
  }
  if (extent + snap > along) extent = along;
  for (std::int32_t i = 0; i < across + 5; i += 10) {
    if (mode == 1 || mode == 5) add(along - extent, i, along, i + 5);
    if (mode == 2 || mode == 4) add(0, i, extent, i + 5);
    if (mode == 3) {
      add(along - extent, i, along, i + 5);
      add(0, i + 5, extent, i + 10);
    }
  }
}

// The bars of one direction of CreateRaggedRegion, in the same coordinates as AddBars.
template <typename Add>
void AddRaggedBars(std::int32_t extent, std::int32_t along, std::int32_t across, int mode,
                   Add add) {
  if (mode == 0) return;
  const std::int32_t jitter = extent < along ? along / 7 : 0;
  const std::int32_t overlap = across % 5;
  for (std::int32_t off = 0; off < across; off += 5) {
    const std::int32_t end = off + 5 + overlap;
    switch (mode) {
      case 1: {
        const std::int32_t r1 = Random(jitter);
        const std::int32_t r2 = Random(jitter);
        add(along - extent + r1 - r2, off, along, end);
        break;
      }
      case 2: {
        const std::int32_t r1 = Random(jitter);
        const std::int32_t r2 = Random(jitter);
        add(0, off, extent + r1 - r2, end);
        break;
      }
      case 3: {
        const std::int32_t r1 = Random(jitter);
        const std::int32_t r2 = Random(jitter);
        add((along - extent + r1 - r2) / 2, off, along / 2, end);
        const std::int32_t r3 = Random(jitter);
        const std::int32_t r4 = Random(jitter);
        add(along / 2, off, (along + extent + r3 - r4) / 2, end);
        break;
      }
      case 4: {
        const std::int32_t r1 = Random(jitter);
        const std::int32_t r2 = Random(jitter);
        add(along - (extent + r1 - r2) / 2, off, along, end);
        const std::int32_t r3 = Random(jitter);
        const std::int32_t r4 = Random(jitter);
        add(0, off, (extent + r3 - r4) / 2, end);
        break;
      }
      default:
        return;
    }
  }
}

// The rows of one direction of CreateSprayRegion, in the same coordinates as AddBars.
template <typename Add>
void AddSprayRows(std::int32_t extent, std::int32_t along, std::int32_t across, int mode, Add add) {
  if (mode != 1 && mode != 2) return;
  const std::int32_t depth = extent < along ? along / 10 : 0;
  const std::int32_t cell = std::max(depth / 20, 2);
  const std::int32_t cells = depth / cell;
  const std::int32_t threshold = ((3 * depth) / cell) / 4;
  for (std::int32_t y = 0; y < across; y += cell / 2) {
    if (mode == 1) {
      add(along - extent, y, along, y + cell);
    } else {
      add(0, y, extent, y + cell);
    }
    for (std::int32_t k = cells; k >= 1; --k) {
      const std::int32_t chance = threshold >= k ? 1 : 0;
      if (Random(k) > chance) continue;
      if (mode == 1) {
        const std::int32_t left = along - extent - k * cell;
        add(left, y, left + cell, y + cell);
      } else {
        const std::int32_t right = extent + k * cell;
        add(right - cell, y, right, y + cell);
      }
    }
  }
}

// Adders that store a bar given in (along, across) coordinates as a picture rectangle.
auto RowAdder(RectList& rects) {
  return [&rects](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    rects.push_back(Rect(l, t, r, b));
  };
}

auto ColumnAdder(RectList& rects) {
  return [&rects](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    rects.push_back(Rect(t, l, b, r));
  };
}

}  // namespace

std::optional<Region> CreateBarRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                      std::int32_t h, int rowMode, int colMode, std::int32_t snap) {
  RectList rects;
  AddBars(a, w, h, rowMode, snap, RowAdder(rects));
  AddBars(b, h, w, colMode, snap, ColumnAdder(rects));
  return BuildRegion(rects);
}

std::optional<Region> CreateRaggedRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                         std::int32_t h, int rowMode, int colMode) {
  RectList rects;
  AddRaggedBars(a, w, h, rowMode, RowAdder(rects));
  AddRaggedBars(b, h, w, colMode, ColumnAdder(rects));
  return BuildRegion(rects);
}

std::optional<Region> CreateSprayRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                        std::int32_t h, int rowMode, int colMode) {
  RectList rects;
  AddSprayRows(a, w, h, rowMode, RowAdder(rects));
  AddSprayRows(b, h, w, colMode, ColumnAdder(rects));
  return BuildRegion(rects);
}

std::optional<Region> CreateRandomSquaresRegion(std::int32_t w, std::int32_t h, std::int32_t p) {
  const std::int32_t pitch = std::max(std::min(w, h) / 50 + p / 10, 1);
  RectList rects;
  for (std::int32_t x = 0; x < w; x += pitch) {
    for (std::int32_t y = 0; y < h; y += pitch) {
      if (Random(100) < p) rects.push_back(Rect(x - pitch, y - pitch, x + pitch, y + pitch));
    }
  }
  return BuildRegion(rects);
}

std::optional<Region> CreateTriangleRegion(TPoint p0, TPoint p1, TPoint p2) {
  const std::array<TPoint, 4> points = {p0, p1, p2, p0};
  return Region::Polygon(points);
}

TRect MirrorCopy(TCanvas& dst, TRect dest, const Bitmap& src, bool mirrorLeftRight,
                bool mirrorTopBottom, TRect srcRect) {
  srcRect = IntersectRect(srcRect, Rect(0, 0, src.Width(), src.Height()));
  if (mirrorLeftRight) {
    const std::int32_t oldLeft = dest.Left;
    dest.Left = dest.Right + 1;
    dest.Right = oldLeft - 1;
  }
  if (mirrorTopBottom) {
    const std::int32_t oldTop = dest.Top;
    dest.Top = dest.Bottom + 1;
    dest.Bottom = oldTop - 1;
  }
  // The copy goes to x = Left, y = Top with extents Right - Left and Bottom - Top,
  // which is the rectangle itself; negative extents mirror.
  dst.CopyRect(dest, src, srcRect);
  return Rect(std::min(dest.Left, dest.Right), std::min(dest.Top, dest.Bottom),
              std::max(dest.Left, dest.Right), std::max(dest.Top, dest.Bottom));
}

void BlendBitmaps(Bitmap& dst, const Bitmap& src, std::int32_t percent) {
  const std::int32_t p = std::clamp(percent, 0, 100);
  // The two truncated products for every byte value, so the pixel loop only adds.
  std::array<std::uint8_t, 256> keep{};
  std::array<std::uint8_t, 256> take{};
  for (std::int32_t v = 0; v < 256; ++v) {
    keep[v] = static_cast<std::uint8_t>((v * (100 - p)) / 100);
    take[v] = static_cast<std::uint8_t>((v * p) / 100);
  }
  // Both bitmaps have the same size in every caller; never reach past the smaller one.
  const int height = std::min(dst.Height(), src.Height());
  const std::size_t rowBytes = static_cast<std::size_t>(std::min(dst.Width(), src.Width())) * 3;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* d = dst.ScanLine(y);
    const std::uint8_t* s = src.ScanLine(y);
    for (std::size_t i = 0; i < rowBytes; ++i) {
      d[i] = static_cast<std::uint8_t>(keep[d[i]] + take[s[i]]);
    }
  }
}

void RotateBitmap(Bitmap& dst, const Bitmap& src, std::int32_t cx, std::int32_t cy, double angle) {
  const int width = std::min(dst.Width(), src.Width());
  const int height = std::min(dst.Height(), src.Height());
  if (width <= 0 || height <= 0) return;
  const long double sine = std::sin(static_cast<long double>(angle));
  const long double cosine = std::cos(static_cast<long double>(angle));
  // u = round(dx cos - dy sin) + cx and v = round(dx sin + dy cos) + cy. Each
  // product depends on x or on y alone, so it is computed once per column or
  // row; the sums and roundings per pixel are then the same operations on the
  // same values as evaluating the formula directly.
  std::vector<long double> dxCos(width);
  std::vector<long double> dxSin(width);
  for (int x = 0; x < width; ++x) {
    const long double dx = static_cast<long double>(x) - cx;
    dxCos[x] = dx * cosine;
    dxSin[x] = dx * sine;
  }
  for (int y = 0; y < height; ++y) {
    const long double dy = static_cast<long double>(y) - cy;
    const long double dySin = dy * sine;
    const long double dyCos = dy * cosine;
    std::uint8_t* out = dst.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const long double u = std::rint(dxCos[x] - dySin) + cx;
      const long double v = std::rint(dxSin[x] + dyCos) + cy;
      if (!(u >= 0 && u < width && v >= 0 && v < height)) continue;
      const std::uint8_t* in = src.ScanLine(static_cast<int>(v)) + 3 * static_cast<int>(u);
      out[3 * x] = in[0];
      out[3 * x + 1] = in[1];
      out[3 * x + 2] = in[2];
    }
  }
}

}  // namespace slidesaver
