#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <numbers>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "graphics/region.h"

namespace slidesaver {
namespace {

using Pixels = std::set<std::pair<int, int>>;

Pixels PixelsOf(const Region& region) {
  Pixels pixels;
  for (const TRect& r : region.Rects()) {
    for (int y = r.Top; y < r.Bottom; ++y) {
      for (int x = r.Left; x < r.Right; ++x) pixels.emplace(x, y);
    }
  }
  return pixels;
}

Pixels PixelsOfRect(const TRect& r) { return PixelsOf(Region::FromRect(r)); }

// A bitmap whose every pixel has its own colour.
Bitmap Numbered(int width, int height, std::uint32_t salt = 0) {
  Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, (salt + y * 1000 + x) & 0xFFFFFF);
  }
  return bitmap;
}

// The copy rule written out pixel by pixel, independent of StretchCopy.
void ReferenceCopy(Bitmap& dst, const TRect& d, const Bitmap& src, const TRect& s,
                   const Region* clip) {
  const std::int64_t dw = std::int64_t{d.Right} - d.Left, dh = std::int64_t{d.Bottom} - d.Top;
  const std::int64_t sw = std::int64_t{s.Right} - s.Left, sh = std::int64_t{s.Bottom} - s.Top;
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
  const std::int64_t dx0 = std::min(d.Left, d.Right), dx1 = std::max(d.Left, d.Right);
  const std::int64_t dy0 = std::min(d.Top, d.Bottom), dy1 = std::max(d.Top, d.Bottom);
  const auto pick = [](std::int64_t i, std::int64_t srcLen, std::int64_t dstLen) {
    return static_cast<std::int64_t>(static_cast<__int128>(2 * i + 1) * std::llabs(srcLen) /
                                     (2 * std::llabs(dstLen)));
  };
  for (int y = 0; y < dst.Height(); ++y) {
    for (int x = 0; x < dst.Width(); ++x) {
      if (x < dx0 || x >= dx1 || y < dy0 || y >= dy1) continue;
      if (clip && !clip->Contains(x, y)) continue;
      const std::int64_t i = ((dw < 0) != (sw < 0)) ? dx1 - 1 - x : x - dx0;
      const std::int64_t j = ((dh < 0) != (sh < 0)) ? dy1 - 1 - y : y - dy0;
      const std::int64_t sx = std::min(s.Left, s.Right) + pick(i, sw, dw);
      const std::int64_t sy = std::min(s.Top, s.Bottom) + pick(j, sh, dh);
      if (sx < 0 || sx >= src.Width() || sy < 0 || sy >= src.Height()) continue;
      dst.SetPixel(x, y, src.Pixel(static_cast<int>(sx), static_cast<int>(sy)));
    }
  }
}

std::vector<std::uint32_t> Row(const Bitmap& bitmap, int y) {
  std::vector<std::uint32_t> row;
  for (int x = 0; x < bitmap.Width(); ++x) row.push_back(bitmap.Pixel(x, y));
  return row;
}

TEST(StretchCopy, MatchesTheRuleOnRandomRectangles) {
  std::mt19937 rng(7);
  const auto coord = [&](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  const Bitmap src = Numbered(13, 11);
  for (int round = 0; round < 3000; ++round) {
    TRect s{coord(-6, 18), coord(-6, 16), coord(-6, 18), coord(-6, 16)};
    TRect d{coord(-8, 24), coord(-8, 22), coord(-8, 24), coord(-8, 22)};
    if (round % 4 == 1) {  // the unscaled path, now and then mirrored
      s.Right = s.Left + (d.Right - d.Left) * (round % 8 == 1 ? 1 : -1);
      s.Bottom = s.Top + (d.Bottom - d.Top);
    }
    if (round % 50 == 3) d = TRect{-(1 << 30), 2, (1 << 30), 9};  // huge, no overflow
    std::optional<Region> clip;
    if (round % 3 == 0) {
      std::vector<TRect> parts;
      for (int k = 0; k < 4; ++k) {
        parts.push_back(Bounds(coord(-3, 16), coord(-3, 14), coord(0, 9), coord(0, 9)));
      }
      if (round % 6 == 3) {  // a comb of narrow columns
        const int top = coord(-2, 8), bottom = top + coord(2, 9), width = coord(1, 2);
        for (int x = coord(-2, 1); x < 18; x += width + 1) {
          parts.push_back(TRect{x, top, x + width, bottom});
        }
      }
      clip = Region::FromRects(parts);
    } else if (round % 5 == 2) {  // a triangle, kept as the rows it was scanned in
      clip = Region::Polygon(std::vector<TPoint>{{coord(-4, 20), coord(-4, 18)},
                                                 {coord(-4, 20), coord(-4, 18)},
                                                 {coord(-4, 20), coord(-4, 18)}});
    }
    Bitmap expected = Numbered(17, 15, 0x400000);
    Bitmap actual = expected;
    // First, while the clip still has the form it was made in (the reference unites it).
    StretchCopy(actual, d, src, s, clip ? &*clip : nullptr);
    ReferenceCopy(expected, d, src, s, clip ? &*clip : nullptr);
    ASSERT_TRUE(actual == expected) << "round " << round << " src " << s.Left << "," << s.Top
                                    << "," << s.Right << "," << s.Bottom << " dst " << d.Left
                                    << "," << d.Top << "," << d.Right << "," << d.Bottom;
  }
}

TEST(StretchCopy, ClipOfManyNarrowColumns) {
  // Bars one or two pixels wide, in two bands of different lengths, as the
  // grid transitions clip: copied unscaled (in place and shifted) and stretched.
  std::vector<TRect> bars;
  for (int x = 0; x < 40; x += 3) bars.push_back(TRect{x, 1, x + 1 + x % 2, 9});
  for (int x = 1; x < 30; x += 4) bars.push_back(TRect{x, 9, x + 2, 12});
  const Region clip = Region::FromRects(bars);
  const Bitmap src = Numbered(41, 13);
  for (const auto& [d, s] : {std::pair{TRect{0, 0, 41, 13}, TRect{0, 0, 41, 13}},
                             std::pair{TRect{-3, 2, 38, 15}, TRect{0, 0, 41, 13}},
                             std::pair{TRect{0, 0, 41, 13}, TRect{5, 1, 25, 8}}}) {
    Bitmap expected = Numbered(41, 13, 0x400000);
    Bitmap actual = expected;
    ReferenceCopy(expected, d, src, s, &clip);
    StretchCopy(actual, d, src, s, &clip);
    EXPECT_TRUE(actual == expected) << d.Left << "," << d.Top << " from " << s.Left;
  }
}

TEST(SelectCopy, SameAsDrawingOutsideThenInsideClipped) {
  std::mt19937 rng(11);
  const auto coord = [&](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  // Wide enough for whole blocks of the vector paths and a tail after them.
  constexpr int kW = 75, kH = 17;
  const Bitmap inside = Numbered(kW, kH, 0x100000), outside = Numbered(kW, kH, 0x200000);
  for (int round = 0; round < 300; ++round) {
    std::vector<TRect> parts;
    // Every third round has enough rectangles to be composed from coverage counts.
    for (int k = round % 3 == 2 ? coord(16, 40) : coord(0, 5); k > 0; --k) {
      const int x = coord(-4, kW + 2), y = coord(-4, kH + 2);
      parts.push_back(TRect{x, y, x + coord(0, 40), y + coord(0, 12)});
    }
    if (round % 2 == 1) {  // a comb: bands of many narrow spans
      const int top = coord(-3, 10), bottom = top + coord(2, 10);
      for (int x = coord(-2, 1); x < kW + 1; x += 3) parts.push_back(TRect{x, top, x + 2, bottom});
    }
    // Every fifth round a triangle, whose rows the region keeps as they were scanned.
    const std::vector<TPoint> triangle{{coord(-9, kW + 9), coord(-9, kH + 9)},
                                       {coord(-9, kW + 9), coord(-9, kH + 9)},
                                       {coord(-9, kW + 9), coord(-9, kH + 9)}};
    // Every fifth round but one the rectangles cut to a few others, an intersection worked out
    // only as the pixels are chosen.
    const std::vector<TRect> bounds{TRect{coord(-4, kW), coord(-4, kH), kW + 2, kH + 2},
                                    TRect{0, coord(0, kH), coord(0, kW), kH}};
    const Region where =
        round % 5 == 4   ? Region::Polygon(triangle)
        : round % 5 == 3 ? Region::FromRects(parts).Intersect(Region::FromRects(bounds))
                         : Region::FromRects(parts);
    Bitmap expected(kW, kH), actual(kW, kH);
    SelectCopy(actual, inside, outside, where);  // first: clipping merges the rectangles
    StretchCopy(expected, TRect{0, 0, kW, kH}, outside, TRect{0, 0, kW, kH});
    StretchCopy(expected, TRect{0, 0, kW, kH}, inside, TRect{0, 0, kW, kH}, &where);
    ASSERT_TRUE(actual == expected) << "round " << round;
  }
}

TEST(SelectCopy, MoreRectanglesThanACountHoldsAreUnitedFirst) {
  // 65 536 copies of one rectangle, whose 16-bit count would wrap to 0: alone and cut to two
  // others.
  constexpr int kW = 75, kH = 17;
  const Bitmap inside = Numbered(kW, kH, 0x100000), outside = Numbered(kW, kH, 0x200000);
  const std::vector<TRect> copies(65536, TRect{10, 3, 50, 12});
  const std::vector<TRect> cut{TRect{3, 2, 40, 9}, TRect{30, 5, 70, 16}};
  for (const Region& where : {Region::FromRects(copies),
                              Region::FromRects(copies).Intersect(Region::FromRects(cut))}) {
    Bitmap expected(kW, kH), actual(kW, kH);
    SelectCopy(actual, inside, outside, where);
    StretchCopy(expected, TRect{0, 0, kW, kH}, outside, TRect{0, 0, kW, kH});
    StretchCopy(expected, TRect{0, 0, kW, kH}, inside, TRect{0, 0, kW, kH}, &where);
    EXPECT_TRUE(actual == expected);
  }
}

TEST(StretchCopy, ExactSmallCases) {
  const Bitmap src = Numbered(4, 2);
  // Twice as wide: every source column is repeated.
  Bitmap wide(8, 2);
  StretchCopy(wide, Rect(0, 0, 8, 2), src, Rect(0, 0, 4, 2));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(wide.Pixel(x, 1), src.Pixel(x / 2, 1));

  // 4 -> 3 picks floor((2i + 1) * 4 / 6) = 0, 2, 3.
  Bitmap narrow(3, 2);
  StretchCopy(narrow, Rect(0, 0, 3, 2), src, Rect(0, 0, 4, 2));
  EXPECT_EQ(Row(narrow, 0), (std::vector<std::uint32_t>{src.Pixel(0, 0), src.Pixel(2, 0),
                                                        src.Pixel(3, 0)}));

  // A negative destination width mirrors; so does a negative source width.
  Bitmap mirrored(4, 2);
  StretchCopy(mirrored, Rect(4, 0, 0, 2), src, Rect(0, 0, 4, 2));
  Bitmap mirroredBySource(4, 2);
  StretchCopy(mirroredBySource, Rect(0, 0, 4, 2), src, Rect(4, 0, 0, 2));
  Bitmap twice(4, 2);
  StretchCopy(twice, Rect(4, 0, 0, 2), src, Rect(4, 0, 0, 2));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(mirrored.Pixel(x, 0), src.Pixel(3 - x, 0));
  EXPECT_TRUE(mirroredBySource == mirrored);
  EXPECT_TRUE(twice == src);
  Bitmap upsideDown(4, 2);
  StretchCopy(upsideDown, Rect(0, 2, 4, 0), src, Rect(0, 0, 4, 2));
  EXPECT_EQ(Row(upsideDown, 0), Row(src, 1));

  // Nothing for an empty rectangle; untouched pixels where the source is missing.
  Bitmap untouched = Numbered(4, 2, 0x100000);
  const Bitmap original = untouched;
  StretchCopy(untouched, Rect(0, 0, 0, 2), src, Rect(0, 0, 4, 2));
  StretchCopy(untouched, Rect(0, 0, 4, 2), src, Rect(0, 0, 4, 0));
  EXPECT_TRUE(untouched == original);
  StretchCopy(untouched, Rect(0, 0, 4, 2), src, Rect(2, 0, 6, 2));
  EXPECT_EQ(untouched.Pixel(1, 0), src.Pixel(3, 0));
  EXPECT_EQ(untouched.Pixel(2, 0), original.Pixel(2, 0));
  EXPECT_EQ(untouched.Pixel(3, 1), original.Pixel(3, 1));
}

TEST(StretchCopy, OverlappingCopyWithinOneBitmapReadsTheOriginal) {
  Bitmap bitmap = Numbered(6, 3);
  const Bitmap original = bitmap;
  StretchCopy(bitmap, Rect(1, 0, 6, 3), bitmap, Rect(0, 0, 5, 3));
  for (int x = 1; x < 6; ++x) EXPECT_EQ(bitmap.Pixel(x, 2), original.Pixel(x - 1, 2));
}

TEST(Region, AlgebraMatchesPixelSets) {
  std::mt19937 rng(11);
  const auto randomRegion = [&] {
    std::vector<TRect> rects;
    for (int k = 0; k < 4; ++k) {
      const int x = int(rng() % 12) - 2, y = int(rng() % 12) - 2;
      rects.push_back(Bounds(x, y, int(rng() % 7), int(rng() % 7)));
    }
    return Region::FromRects(rects);
  };
  for (int round = 0; round < 200; ++round) {
    const Region a = randomRegion(), b = randomRegion();
    const Pixels pa = PixelsOf(a), pb = PixelsOf(b);
    Pixels uni, inter, sym, diff;
    std::set_union(pa.begin(), pa.end(), pb.begin(), pb.end(), std::inserter(uni, uni.end()));
    std::set_difference(pa.begin(), pa.end(), pb.begin(), pb.end(),
                        std::inserter(diff, diff.end()));
    std::set_intersection(pa.begin(), pa.end(), pb.begin(), pb.end(),
                          std::inserter(inter, inter.end()));
    std::set_symmetric_difference(pa.begin(), pa.end(), pb.begin(), pb.end(),
                                  std::inserter(sym, sym.end()));
    ASSERT_EQ(PixelsOf(a.Union(b)), uni);
    ASSERT_EQ(PixelsOf(a.Intersect(b)), inter);
    ASSERT_EQ(a.Intersect(b).Empty(), inter.empty());
    ASSERT_EQ(PixelsOf(a.Xor(b)), sym);
    ASSERT_EQ(a.Xor(b).Empty(), sym.empty());
    ASSERT_EQ(PixelsOf(a.Subtract(b)), diff);
    ASSERT_EQ(a == b, pa == pb);
    Pixels moved;
    for (auto [x, y] : pa) moved.emplace(x + 3, y - 5);
    ASSERT_EQ(PixelsOf(a.Offset(3, -5)), moved);
    for (int y = -3; y < 16; ++y) {
      for (int x = -3; x < 16; ++x) ASSERT_EQ(a.Contains(x, y), pa.count({x, y}) == 1);
    }
  }
  EXPECT_EQ(PixelsOfRect(Rect(2, 3, 4, 5)), (Pixels{{2, 3}, {3, 3}, {2, 4}, {3, 4}}));
  EXPECT_TRUE(Region::FromRect(Rect(5, 5, 2, 9)).Empty());
  EXPECT_EQ(Region().Extents(), TRect{});
  EXPECT_EQ(Region::FromRects(std::vector<TRect>{Rect(0, 0, 2, 2), Rect(5, 1, 6, 8)}).Extents(),
            Rect(0, 0, 6, 8));
  EXPECT_TRUE(Region::FromRects(std::vector<TRect>{Rect(0, 0, 2, 2), Rect(5, 1, 6, 8)})
                  .Intersect(Region::FromRects(std::vector<TRect>{Rect(2, 0, 5, 9)}))
                  .Empty());
  // The same pixels given as different rectangle lists compare equal.
  EXPECT_TRUE(Region::FromRects(std::vector<TRect>{Rect(0, 0, 2, 4), Rect(2, 0, 4, 4)}) ==
              Region::FromRect(Rect(0, 0, 4, 4)));
}

TEST(Region, FromRectsEqualsUnionOneAtATime) {
  std::mt19937 rng(3);
  std::vector<TRect> rects;
  Region united;
  for (int k = 0; k < 3000; ++k) {
    const int x = int(rng() % 400) - 50, y = int(rng() % 400) - 50;
    const TRect r = Rect(x, y, x + int(rng() % 60) - 5, y + int(rng() % 60) - 5);
    rects.push_back(r);
    united = united.Union(Region::FromRect(r));
  }
  const Region built = Region::FromRects(rects);
  EXPECT_TRUE(built == united);
  EXPECT_EQ(built.Rects(), united.Rects());
}

// Pixel-centre test of the rounded rectangle as the union of the two bars
// and the four corner ellipses; 1 inside, 0 outside, -1 on the edge.
int RoundRectCentre(const TRect& r, double ew, double eh, int x, int y) {
  const double cx = x + 0.5, cy = y + 0.5, a = ew / 2, b = eh / 2;
  if (cx < r.Left || cx > r.Right || cy < r.Top || cy > r.Bottom) return 0;
  if ((cx >= r.Left + a && cx <= r.Right - a) || (cy >= r.Top + b && cy <= r.Bottom - b)) {
    return 1;
  }
  const double ex = cx < r.Left + a ? r.Left + a : r.Right - a;
  const double ey = cy < r.Top + b ? r.Top + b : r.Bottom - b;
  const double v = (cx - ex) * (cx - ex) / (a * a) + (cy - ey) * (cy - ey) / (b * b);
  if (std::abs(v - 1) < 1e-9) return -1;
  return v < 1 ? 1 : 0;
}

TEST(Region, RoundRectShapes) {
  const Region circle = Region::RoundRect(Rect(0, 0, 10, 10), 10, 10);
  const Pixels pixels = PixelsOf(circle);
  for (auto [x, y] : pixels) {
    EXPECT_TRUE(pixels.count({9 - x, y}) && pixels.count({x, 9 - y}) && pixels.count({y, x}));
  }
  EXPECT_FALSE(circle.Contains(0, 0));
  EXPECT_FALSE(circle.Contains(0, 2));
  EXPECT_TRUE(circle.Contains(0, 3));
  EXPECT_TRUE(circle.Contains(1, 1));
  EXPECT_TRUE(circle.Contains(5, 5));
  EXPECT_EQ(circle.Extents(), Rect(0, 0, 10, 10));
  // Limited to the rectangle; no ellipse is a plain rectangle; extents normalised.
  EXPECT_TRUE(Region::RoundRect(Rect(0, 0, 10, 10), 400, 90) == circle);
  EXPECT_TRUE(Region::RoundRect(Rect(10, 10, 0, 0), 10, 10) == circle);
  EXPECT_TRUE(Region::RoundRect(Rect(3, 4, 9, 7), 0, 5) == Region::FromRect(Rect(3, 4, 9, 7)));
  EXPECT_TRUE(Region::RoundRect(Rect(3, 4, 3, 7), 4, 4).Empty());

  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    const int left = int(rng() % 20) - 10, top = int(rng() % 20) - 10;
    const TRect r = Bounds(left, top, 1 + int(rng() % 30), 1 + int(rng() % 30));
    const int ew = int(rng() % 40), eh = int(rng() % 40);
    const Region region = Region::RoundRect(r, ew, eh);
    const double a = std::min(ew, r.Width()), b = std::min(eh, r.Height());
    for (int y = r.Top - 1; y <= r.Bottom; ++y) {
      for (int x = r.Left - 1; x <= r.Right; ++x) {
        const int inside = a > 0 && b > 0 ? RoundRectCentre(r, a, b, x, y) : r.Contains(x, y);
        if (inside < 0) continue;
        ASSERT_EQ(region.Contains(x, y), inside == 1) << x << "," << y;
      }
    }
  }
}

// Winding number of the pixel centre (x + 0.5, y + 0.5), or nullopt when the
// centre lies exactly on an edge; computed on doubled integer coordinates.
std::optional<int> WindingAt(const std::vector<TPoint>& points, int x, int y) {
  const std::int64_t px = 2 * std::int64_t{x} + 1, py = 2 * std::int64_t{y} + 1;
  int winding = 0;
  for (std::size_t k = 0; k < points.size(); ++k) {
    const TPoint& p = points[k];
    const TPoint& q = points[(k + 1) % points.size()];
    const std::int64_t x0 = 2 * std::int64_t{p.X}, y0 = 2 * std::int64_t{p.Y};
    const std::int64_t x1 = 2 * std::int64_t{q.X}, y1 = 2 * std::int64_t{q.Y};
    const __int128 side = static_cast<__int128>(x1 - x0) * (py - y0) -
                          static_cast<__int128>(y1 - y0) * (px - x0);
    if (side == 0 && px >= std::min(x0, x1) && px <= std::max(x0, x1) &&
        py >= std::min(y0, y1) && py <= std::max(y0, y1)) {
      return std::nullopt;
    }
    if (y0 <= py && y1 > py && side > 0) ++winding;
    if (y1 <= py && y0 > py && side < 0) --winding;
  }
  return winding;
}

void ExpectPolygonMatchesWinding(const std::vector<TPoint>& points, const TRect& area) {
  const Region region = Region::Polygon(points);
  for (int y = area.Top; y < area.Bottom; ++y) {
    for (int x = area.Left; x < area.Right; ++x) {
      const std::optional<int> winding = WindingAt(points, x, y);
      if (!winding) continue;
      ASSERT_EQ(region.Contains(x, y), *winding != 0) << x << "," << y;
    }
  }
}

TEST(Region, PolygonFollowsTheWindingRule) {
  // A pentagram drawn in one stroke: its centre winds twice and stays filled.
  std::vector<TPoint> star;
  for (int k = 0; k < 5; ++k) {
    const double angle = -std::numbers::pi / 2 + k * 4 * std::numbers::pi / 5;
    star.push_back(TPoint{static_cast<std::int32_t>(std::lround(50 + 40 * std::cos(angle))),
                          static_cast<std::int32_t>(std::lround(50 + 40 * std::sin(angle)))});
  }
  const Region filled = Region::Polygon(star);
  EXPECT_TRUE(filled.Contains(50, 50));
  EXPECT_TRUE(filled.Contains(50, 15));
  EXPECT_FALSE(filled.Contains(12, 85));
  ExpectPolygonMatchesWinding(star, Rect(0, 0, 100, 100));
  std::vector<TPoint> reversed(star.rbegin(), star.rend());
  EXPECT_TRUE(Region::Polygon(reversed) == filled);

  const std::vector<TPoint> triangle{{3, 1}, {27, 9}, {8, 22}};
  ExpectPolygonMatchesWinding(triangle, Rect(0, 0, 30, 25));

  std::mt19937 rng(9);
  for (int round = 0; round < 200; ++round) {
    std::vector<TPoint> points(3 + rng() % 6);
    for (TPoint& p : points) p = TPoint{int(rng() % 40) - 5, int(rng() % 40) - 5};
    ExpectPolygonMatchesWinding(points, Rect(-7, -7, 37, 37));
  }
}

TEST(Region, PolygonsUniteTheirOwnWindings) {
  std::mt19937 rng(9);
  const auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::vector<TPoint>> shapes(coord(1, 6));
    for (auto& shape : shapes) {
      // Triangles and quadrilaterals, some far apart in y, some overlapping,
      // some turning the other way.
      const int dy = round % 3 == 0 ? coord(-200, 200) : 0;
      for (int k = coord(3, 4); k > 0; --k) shape.push_back(TPoint{coord(-5, 30), coord(-5, 30) + dy});
    }
    Region united;
    std::vector<std::span<const TPoint>> views;
    for (const auto& shape : shapes) {
      united = united.Union(Region::Polygon(shape));
      views.emplace_back(shape);
    }
    ASSERT_EQ(Region::Polygons(views).Rects(), united.Rects()) << "round " << round;
  }
  EXPECT_TRUE(Region::Polygons({}).Empty());
}

TEST(Region, PolygonEdgeCases) {
  EXPECT_TRUE(Region::Polygon(std::vector<TPoint>{{0, 0}, {10, 10}, {5, 5}, {-3, -3}}).Empty());
  EXPECT_TRUE(Region::Polygon(std::vector<TPoint>{{0, 0}, {10, 10}, {0, 0}}).Empty());
  EXPECT_TRUE(Region::Polygon(std::vector<TPoint>{{0, 0}, {10, 10}}).Empty());
  EXPECT_TRUE(Region::Polygon(std::vector<TPoint>{}).Empty());
  // Far outside any bitmap: right where it is, and cut to a window it still matches.
  const std::vector<TPoint> huge{{-100000, -100000}, {100000, -100000}, {0, 100000}};
  const Region big = Region::Polygon(huge);
  EXPECT_EQ(big.Extents(), Rect(-100000, -100000, 100000, 99999));  // the apex row is too thin
  ExpectPolygonMatchesWinding(huge, Rect(-60, -60, 60, 60));
  ExpectPolygonMatchesWinding(huge, Rect(-50, 99980, 50, 100001));
  const std::vector<TPoint> extreme{{INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {INT32_MIN, 2}};
  ExpectPolygonMatchesWinding(extreme, Rect(-20, -3, 20, 5));
  // Shapes spanning the whole coordinate range stay cheap: far rows are left out.
  const TRect extents = Region::Polygon(extreme).Extents();
  EXPECT_TRUE(extents.Top >= -(1 << 20) && extents.Bottom <= (1 << 20));
  const Region everything = Region::RoundRect(Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX),
                                              INT32_MAX, INT32_MAX);
  EXPECT_TRUE(everything.Contains(0, 0));
  EXPECT_TRUE(everything.Contains(INT32_MAX - 1, 0));
  EXPECT_TRUE(everything.Contains(INT32_MAX - 1, -(1 << 20) + 1));
  EXPECT_EQ(everything.Extents().Top, -(1 << 20));
  EXPECT_TRUE(Region::Polygon(std::vector<TPoint>{{0, 0}, {4, 0}, {4, 3}, {0, 3}}) ==
              Region::FromRect(Rect(0, 0, 4, 3)));
}

TEST(Canvas, OriginAndClipApplyToEveryOperation) {
  Bitmap target(20, 20);
  TCanvas canvas(target);
  canvas.SetOrigin(TPoint{5, 3});
  canvas.SetBrushColor(0x0000FF);  // red
  canvas.IntersectClipRect(Rect(0, 0, 10, 10));  // bitmap pixels 5..14, 3..12
  canvas.IntersectClip(Region::FromRect(Rect(-5, 2, 8, 30)));
  EXPECT_TRUE(canvas.HasClip());
  canvas.FillRect(Rect(-100, -100, 100, 100));
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 5 && x < 13 && y >= 5 && y < 13;
      ASSERT_EQ(target.Pixel(x, y), inside ? 0x0000FFu : 0u) << x << "," << y;
    }
  }

  canvas.RemoveClip();
  EXPECT_FALSE(canvas.HasClip());
  const Bitmap picture = Numbered(3, 2, 0x20000);
  canvas.Draw(-5, -3, picture);
  EXPECT_EQ(target.Pixel(0, 0), picture.Pixel(0, 0));
  EXPECT_EQ(target.Pixel(2, 1), picture.Pixel(2, 1));
  EXPECT_EQ(target.Pixel(3, 0), 0u);

  canvas.SetOrigin(TPoint{-2, 0});
  canvas.IntersectClip(Region::Polygon(std::vector<TPoint>{{2, 10}, {22, 10}, {22, 20}}));
  Bitmap expected = target;
  const Region clip = Region::Polygon(std::vector<TPoint>{{0, 10}, {20, 10}, {20, 20}});
  ReferenceCopy(expected, Rect(20, 20, 0, 10), picture, Rect(0, 0, 3, 2), &clip);
  canvas.StretchDraw(Rect(22, 20, 2, 10), picture);
  EXPECT_TRUE(target == expected);
  ReferenceCopy(expected, Rect(0, 10, 20, 20), picture, Rect(1, 0, 3, 2), &clip);
  canvas.CopyRect(Rect(2, 10, 22, 20), picture, Rect(1, 0, 3, 2));
  EXPECT_TRUE(target == expected);
}

}  // namespace
}  // namespace slidesaver
