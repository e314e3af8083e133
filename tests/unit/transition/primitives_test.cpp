#include "transition/primitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <set>
#include <vector>

#include "base/muldiv.h"
#include "base/random.h"

namespace slidesaver {
namespace {

// The bars (left, 10k + top, right, 10k + bottom) for k = 0 .. count - 1.
Region Bars(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
            int count) {
  std::vector<TRect> rects;
  for (int k = 0; k < count; ++k) rects.push_back(Rect(left, 10 * k + top, right, 10 * k + bottom));
  return Region::FromRects(rects);
}

// The first covered column of row y within 0 .. width - 1 (width when none).
std::int32_t FirstInRow(const Region& region, std::int32_t y, std::int32_t width) {
  std::int32_t x = 0;
  while (x < width && !region.Contains(x, y)) ++x;
  return x;
}

TEST(BarRegion, Style60On400x300WithStep4) {
  const std::int32_t stepPx = MulDiv(400, 4, 90);
  ASSERT_EQ(stepPx, 18);
  auto style60 = [&](std::int32_t progress) {
    return CreateBarRegion(2 * MulDiv(400, progress, 100), 0, 400, 300, 1, 0, stepPx);
  };
  // 20: 31 even bars from x = 240, the last (rows 300..304) below the picture.
  EXPECT_EQ(style60(20), Bars(240, 0, 400, 5, 31));
  // 48: 384 + 18 > 400, so the even bars snap to full length.
  EXPECT_EQ(style60(48), Bars(0, 0, 400, 5, 31));
  // 52: even bars full, odd bars from x = 384.
  EXPECT_EQ(style60(52), Bars(0, 0, 400, 5, 30).Union(Bars(384, 5, 400, 10, 30)));

  // Step 100 makes the first-pass bars full at once; without a snap they are 8-pixel stubs.
  EXPECT_EQ(CreateBarRegion(8, 0, 400, 300, 2, 0, MulDiv(400, 100, 90)), Bars(0, 0, 400, 5, 31));
  EXPECT_EQ(CreateBarRegion(8, 0, 400, 300, 2, 0, 0), Bars(0, 0, 8, 5, 31));
  // The snap needs more than the allowance missing: 382 + 18 is not beyond 400, 383 + 18 is.
  EXPECT_EQ(CreateBarRegion(382, 0, 400, 300, 1, 0, 18), Bars(18, 0, 400, 5, 31));
  EXPECT_EQ(CreateBarRegion(383, 0, 400, 300, 1, 0, 18), Bars(0, 0, 400, 5, 31));
  // Comb (style 64 at 50) and columns from the bottom (style 71 at 20).
  EXPECT_EQ(CreateBarRegion(200, 0, 400, 300, 3, 0, 0),
            Bars(200, 0, 400, 5, 31).Union(Bars(0, 5, 200, 10, 31)));
  EXPECT_EQ(CreateBarRegion(0, 120, 400, 300, 0, 1, 18)->Extents(), Rect(0, 180, 405, 300));
  EXPECT_FALSE(CreateBarRegion(100, 100, 400, 300, 0, 0, 18));
}

TEST(RaggedRegion, BarEndsStayWithinTheJitter) {
  const std::int32_t w = 700, h = 303, a = 350;  // J = 100, bars 8 rows high every 5
  RandSeed(11);
  const Region region = *CreateRaggedRegion(a, 0, w, h, 1, 0);
  std::set<std::int32_t> edges;
  for (std::int32_t y = 0; y < h; ++y) {
    const std::int32_t left = FirstInRow(region, y, w);
    EXPECT_TRUE(left >= w - a - 99 && left <= w - a + 99) << y << ": " << left;
    EXPECT_TRUE(region.Contains(w - 1, y) && !region.Contains(w, y)) << y;
    edges.insert(left);
  }
  EXPECT_GT(edges.size(), 10u);
  // No jitter at the full extent, nor below 7 pixels of width.
  EXPECT_EQ(CreateRaggedRegion(w, 0, w, h, 1, 0), Region::FromRect(Rect(0, 0, w, 308)));
  EXPECT_EQ(CreateRaggedRegion(3, 0, 6, 10, 2, 0), Region::FromRect(Rect(0, 0, 3, 10)));

  // Mode 3: r1, r2 for the left half, r3, r4 for the right half, four draws per bar.
  RandSeed(5);
  const std::int32_t r1 = Random(100), r2 = Random(100), r3 = Random(100), r4 = Random(100);
  RandSeed(5);
  const Region split = *CreateRaggedRegion(300, 0, 700, 100, 3, 0);
  const std::int32_t next = Random(1 << 30);
  EXPECT_EQ(split.Intersect(Region::FromRect(Rect(0, 0, 700, 1))),
            Region::FromRect(Rect((400 + r1 - r2) / 2, 0, (1000 + r3 - r4) / 2, 1)));
  RandSeed(5);
  for (int i = 0; i < 4 * 20; ++i) Random(100);
  EXPECT_EQ(Random(1 << 30), next);
}

TEST(SprayRegion, CellsOfWidth800) {
  // D = 80, C = 4, N = 20, T = 15: rows 4 high every 2, cells up to 80 pixels ahead.
  const std::int32_t w = 800, h = 4000, a = 400;
  RandSeed(3);
  const Region region = *CreateSprayRegion(a, 0, w, h, 1, 0);
  EXPECT_EQ(region.Extents(), Rect(a - 80, 0, w, h + 2));
  for (const TRect& r : region.Rects()) EXPECT_EQ(r.Left % 4, 0);
  // A pixel row lies in two sprayed rows, so cell k covers it with 1 - (1 - q)^2, where
  // q = min(1, 2/k) up to k = 15 and 1/k beyond.
  for (int k : {1, 2, 10, 15, 16, 20}) {
    int covered = 0, rows = 0;
    for (std::int32_t y = 2; y < h; y += 2, ++rows) covered += region.Contains(a - 4 * k, y);
    const double q = std::min(1.0, (k <= 15 ? 2.0 : 1.0) / k);
    EXPECT_NEAR(static_cast<double>(covered) / rows, 1 - (1 - q) * (1 - q), 0.04) << k;
  }
  // At the full extent only the solid part is left: rows 2 high every pixel.
  EXPECT_EQ(CreateSprayRegion(w, 0, w, 50, 1, 0), Region::FromRect(Rect(0, 0, w, 51)));
}

TEST(RandomSquaresRegion, PitchAndReproducibility) {
  // 800 x 600 at 30: pitch 15, 54 x 40 grid points, one draw each, squares of side 30.
  RandSeed(7);
  const Region first = *CreateRandomSquaresRegion(800, 600, 30);
  const std::int32_t next = Random(1 << 30);
  for (const TRect& r : first.Rects()) {
    EXPECT_TRUE(r.Left % 15 == 0 && r.Right % 15 == 0 && r.Top % 15 == 0 && r.Bottom % 15 == 0);
  }
  const TRect extents = first.Extents();
  EXPECT_TRUE(extents.Left >= -15 && extents.Right <= 810 && extents.Bottom <= 600);
  RandSeed(7);
  for (int i = 0; i < 54 * 40; ++i) Random(100);
  EXPECT_EQ(Random(1 << 30), next);
  RandSeed(7);
  EXPECT_EQ(CreateRandomSquaresRegion(800, 600, 30), first);
  RandSeed(8);
  EXPECT_NE(CreateRandomSquaresRegion(800, 600, 30), first);
  EXPECT_FALSE(CreateRandomSquaresRegion(800, 600, 0));
}

TEST(TriangleRegion, PixelCentresInside) {
  const Region region = *CreateTriangleRegion({0, 0}, {10, 0}, {0, 10});
  EXPECT_TRUE(region.Contains(0, 0) && region.Contains(8, 0) && region.Contains(4, 4));
  EXPECT_FALSE(region.Contains(5, 5) || region.Contains(-1, 0) || region.Contains(0, 10));
  EXPECT_TRUE(CreateTriangleRegion({0, 0}, {5, 5}, {10, 10})->Empty());  // flat: empty, not none
}

TEST(MirrorCopy, LeftRightAndTopBottom) {
  constexpr std::uint32_t kA = 1, kB = 2, kC = 3, kD = 4, kOld = 0xFFFFFF;
  Bitmap row(4, 1), column(1, 4), target(6, 6);
  for (int i = 0; i < 4; ++i) {
    row.SetPixel(i, 0, kA + i);
    column.SetPixel(0, i, kA + i);
  }
  target.Fill(kOld);
  TCanvas canvas(target);
  auto line = [&](int x0, int y0, int dx, int dy) {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 6; ++i) pixels.push_back(target.Pixel(x0 + i * dx, y0 + i * dy));
    return pixels;
  };
  MirrorCopy(canvas, Rect(1, 0, 5, 1), row, false, false, Rect(0, 0, 4, 1));
  EXPECT_EQ(line(0, 0, 1, 0), (std::vector{kOld, kA, kB, kC, kD, kOld}));
  // Left-right: the edges become 6 and 0, six columns taking the four source columns turned
  // over (the source is clipped to 4 columns first).
  EXPECT_EQ(MirrorCopy(canvas, Rect(1, 2, 5, 3), row, true, false, Rect(-2, 0, 4, 1)),
            Rect(0, 2, 6, 3));
  EXPECT_EQ(line(0, 2, 1, 0), (std::vector{kD, kD, kC, kB, kB, kA}));
  EXPECT_EQ(target.Pixel(3, 3), kOld);
  // Top-bottom: rows -1 .. 4 take D, D, C, B, B, A; row -1 is cut.
  EXPECT_EQ(MirrorCopy(canvas, Rect(3, 0, 4, 4), column, false, true, Rect(0, 0, 1, 4)),
            Rect(3, -1, 4, 5));
  EXPECT_EQ(line(3, 0, 0, 1), (std::vector{kD, kC, kB, kB, kA, kOld}));
}

TEST(BlendBitmaps, TruncatedProductsPerByte) {
  Bitmap old(1, 1), fresh(1, 1);
  old.Fill(0xFFFFFF);
  fresh.Fill(0xFFFFFF);
  BlendBitmaps(old, fresh, 50);
  EXPECT_EQ(old.Pixel(0, 0), 0xFEFEFEu);  // 127 + 127
  // All byte pairs (old = x, new = y in the red byte): at most the exact blend, less than two
  // levels short, at most one where both are equal; 0 keeps the old, 100 takes the new.
  for (int p : {0, 1, 33, 77, 100}) {
    Bitmap d(256, 256), s(256, 256);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        d.SetPixel(x, y, static_cast<std::uint32_t>(x));
        s.SetPixel(x, y, static_cast<std::uint32_t>(y));
      }
    }
    BlendBitmaps(d, s, p);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        const double exact = (x * (100.0 - p) + y * p) / 100, got = d.Pixel(x, y);
        const double shortfall = p == 0 || p == 100 ? 0 : x == y ? 1 : 1.999;
        ASSERT_TRUE(got <= exact + 1e-9 && got >= exact - shortfall) << p << " " << x << " " << y;
      }
    }
  }
}

TEST(RotateBitmap, SwingAndQuarterTurn) {
  auto numbered = [](int w, int h) {  // every pixel its own colour, none black
    Bitmap bitmap(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x)
        bitmap.SetPixel(x, y, static_cast<std::uint32_t>(x + 256 * y + 1));
    }
    return bitmap;
  };
  auto swing = [](int progress) {
    return static_cast<double>((100 - progress) * std::numbers::pi_v<long double> / 200);
  };
  const Bitmap fresh = numbered(100, 100);
  Bitmap frame(100, 100);
  RotateBitmap(frame, fresh, -1, -1, swing(50));  // style 119 at 50
  EXPECT_EQ(frame.Pixel(99, 0), fresh.Pixel(69, 70));
  EXPECT_EQ(frame.Pixel(0, 0), 0u);  // its source (-1, -1) lies outside
  Bitmap untouched(100, 100);
  RotateBitmap(untouched, fresh, -1, -1, swing(0));
  EXPECT_EQ(untouched, Bitmap(100, 100));
  RotateBitmap(untouched, fresh, 100, 100, swing(100));
  EXPECT_EQ(untouched, fresh);

  // A quarter turn about (4, 3): frame (x, y) takes (4 - (y - 3), 3 + (x - 4)).
  const Bitmap small = numbered(9, 7);
  Bitmap turned(9, 7);
  RotateBitmap(turned, small, 4, 3, std::numbers::pi / 2);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) {
      const int u = 7 - y, v = x - 1;
      const bool inside = u >= 0 && u < 9 && v >= 0 && v < 7;
      EXPECT_EQ(turned.Pixel(x, y), inside ? small.Pixel(u, v) : 0u) << x << " " << y;
    }
  }
}

// Every byte of `b` in scan-line order, through `byte(i)` for the i-th byte.
template <typename ByteOf>
void FillBytes(Bitmap& b, ByteOf byte) {
  std::size_t i = 0;
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (std::size_t k = 0; k < b.Stride(); ++k, ++i) row[k] = static_cast<std::uint8_t>(byte(i));
  }
}

TEST(BlendBitmaps, ExactForEveryBytePairAndPercentage) {
  // 255 x 257 pixels: 196605 bytes, so whole vector blocks end in a ragged tail; the first
  // 65536 bytes hold every (old, new) pair.
  const auto oldByte = [](std::size_t i) { return i & 255; };
  const auto newByte = [](std::size_t i) { return (i >> 8) & 255; };
  Bitmap fresh(255, 257);
  FillBytes(fresh, newByte);
  for (int p = 0; p <= 100; ++p) {
    Bitmap frame(255, 257);
    FillBytes(frame, oldByte);
    BlendBitmaps(frame, fresh, p);
    std::size_t i = 0;
    for (int y = 0; y < frame.Height(); ++y) {
      const std::uint8_t* row = frame.ScanLine(y);
      for (std::size_t k = 0; k < frame.Stride(); ++k, ++i) {
        const int d = static_cast<int>(oldByte(i)), s = static_cast<int>(newByte(i));
        ASSERT_EQ(row[k], d * (100 - p) / 100 + s * p / 100) << p << " " << d << " " << s;
      }
    }
  }
}

TEST(BlendBitmaps, UnequalSizesBlendOnlyTheCommonArea) {
  Bitmap frame(7, 3), fresh(5, 4);
  frame.Fill(0xC8C8C8);
  fresh.Fill(0x646464);
  BlendBitmaps(frame, fresh, 25);  // 200 * 75 / 100 + 100 * 25 / 100 = 175
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(frame.Pixel(x, y), x < 5 ? 0xAFAFAFu : 0xC8C8C8u);
  }
  BlendBitmaps(frame, fresh, 130);  // beyond 100: the new picture
  EXPECT_EQ(frame.Pixel(4, 2), 0x646464u);
  EXPECT_EQ(frame.Pixel(5, 2), 0xC8C8C8u);
}

// RotateBitmap as the plain formula: long double sine, cosine and products, ties to even.
Bitmap TurnedByFormula(Bitmap frame, const Bitmap& src, std::int32_t cx, std::int32_t cy,
                       double angle) {
  const int width = std::min(frame.Width(), src.Width());
  const int height = std::min(frame.Height(), src.Height());
  const long double sine = std::sin(static_cast<long double>(angle));
  const long double cosine = std::cos(static_cast<long double>(angle));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const long double dx = static_cast<long double>(x) - cx;
      const long double dy = static_cast<long double>(y) - cy;
      const long double u = std::rint(dx * cosine - dy * sine) + cx;
      const long double v = std::rint(dx * sine + dy * cosine) + cy;
      if (u >= 0 && u < width && v >= 0 && v < height) {
        frame.SetPixel(x, y, src.Pixel(static_cast<int>(u), static_cast<int>(v)));
      }
    }
  }
  return frame;
}

// How many sums of the formula for pixels of a w x h picture lie within 1e-7 of a half.
int NearHalves(int w, int h, std::int32_t cx, std::int32_t cy, double angle) {
  const long double sine = std::sin(static_cast<long double>(angle));
  const long double cosine = std::cos(static_cast<long double>(angle));
  int count = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const long double dx = static_cast<long double>(x) - cx;
      const long double dy = static_cast<long double>(y) - cy;
      for (long double sum : {dx * cosine - dy * sine, dx * sine + dy * cosine}) {
        count += std::fabs(sum - std::floor(sum) - 0.5L) < 1e-7L;
      }
    }
  }
  return count;
}

// Pictures with every pixel its own colour (none black), and an old frame of other colours.
Bitmap Numbered(int w, int h, std::uint32_t salt) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      b.SetPixel(x, y, (static_cast<std::uint32_t>(x + 1021 * y + 1) * 2654435761u ^ salt) | 1);
    }
  }
  return b;
}

void ExpectTurnLikeFormula(const Bitmap& src, std::int32_t cx, std::int32_t cy, double angle,
                           const Bitmap& old) {
  Bitmap frame = old;
  RotateBitmap(frame, src, cx, cy, angle);
  const Bitmap expected = TurnedByFormula(old, src, cx, cy, angle);
  ASSERT_TRUE(frame == expected) << src.Width() << "x" << src.Height() << " about (" << cx << ", "
                                 << cy << ") by " << std::hexfloat << angle;
}

TEST(RotateBitmap, SameAsTheFormulaForSwingsAndOtherTurns) {
  constexpr double kPi = std::numbers::pi;
  std::vector<double> angles = {0, kPi / 2, kPi / 4, kPi / 3, kPi / 6, 2 * kPi / 3, kPi, -kPi / 2};
  // Just past a sixth and a third of a half turn, a sine or cosine of 0.5 plus less than half
  // a double's step: a double rounds it to 0.5, so a pixel one row or column from the pivot
  // would land on a tie that long double does not see.
  for (double angle : {kPi / 6, kPi / 3, 5 * kPi / 6}) {
    angles.push_back(std::nextafter(angle, 0.0));
    angles.push_back(std::nextafter(angle, 4.0));
  }
  for (int p = 0; p <= 100; ++p) {
    angles.push_back(static_cast<double>((100 - p) * std::numbers::pi_v<long double> / 200));
  }
  std::mt19937 generator(20240611);
  std::uniform_real_distribution<double> anyAngle(-7, 7);
  for (int i = 0; i < 24; ++i) angles.push_back(anyAngle(generator));

  // Odd, tall, wide and one-pixel pictures; rows longer than one chunk of offsets (256) and,
  // near a quarter turn, than one band (384 / sin).
  const std::vector<std::pair<int, int>> sizes = {
      {1, 1}, {1, 9}, {9, 1}, {2, 2}, {9, 7}, {17, 40}, {301, 5}, {450, 6}, {120, 90}};
  int nearHalves = 0;
  for (auto [w, h] : sizes) {
    const Bitmap src = Numbered(w, h, 0), old = Numbered(w, h, 0x5A5A5A);
    // The four swing pivots, and the centre, where the row and the column through the pivot
    // come within a hair of halves at a sixth and a third of a half turn.
    const std::vector<std::pair<int, int>> pivots = {
        {-1, -1}, {-1, h}, {w, -1}, {w, h}, {w / 2, h / 2}};
    for (auto [cx, cy] : pivots) {
      for (double angle : angles) {
        ExpectTurnLikeFormula(src, cx, cy, angle, old);
        if (HasFatalFailure()) return;
      }
    }
    nearHalves += NearHalves(w, h, w / 2, h / 2, kPi / 3) + NearHalves(w, h, w / 2, h / 2, kPi / 6);
  }
  EXPECT_GT(nearHalves, 100);  // the cases above do reach the careful rounding
}

TEST(RotateBitmap, SameAsTheFormulaForRandomSizesPivotsAndAngles) {
  std::mt19937 generator(77);
  const auto uniform = [&](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(generator);
  };
  for (int i = 0; i < 400; ++i) {
    const int w = uniform(1, 40), h = uniform(1, 40);
    const double angle = std::uniform_real_distribution<double>(-4, 4)(generator);
    ExpectTurnLikeFormula(Numbered(w, h, 0), uniform(-60, w + 60), uniform(-60, h + 60), angle,
                          Numbered(w, h, 0x5A5A5A));
    if (HasFatalFailure()) return;
  }
}

TEST(RotateBitmap, FarPivotsUnequalSizesAndUndefinedAngles) {
  const Bitmap src = Numbered(23, 17, 0), old = Numbered(23, 17, 0x5A5A5A);
  // A pivot far away: sums too large for the double shortcut.
  for (double angle : {0.0, 1e-9, -3e-9, 2e-8, 1.5}) {
    ExpectTurnLikeFormula(src, 1 << 27, -(1 << 27), angle, old);
    ExpectTurnLikeFormula(src, -(1 << 25), 3, angle, old);
  }
  // The farthest pivot: without a turn every pixel still takes its own.
  Bitmap frame = old;
  RotateBitmap(frame, src, std::numeric_limits<std::int32_t>::max(),
               std::numeric_limits<std::int32_t>::min(), 0);
  EXPECT_EQ(frame, src);

  // Bitmaps of different sizes: only the common area turns, within itself.
  const Bitmap wide = Numbered(30, 12, 0), oldTall = Numbered(20, 25, 0x123456);
  for (double angle : {0.3, 2.0}) ExpectTurnLikeFormula(wide, 20, 12, angle, oldTall);

  // A NaN or infinite angle finds no source pixel.
  for (double angle :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    frame = old;
    RotateBitmap(frame, src, -1, -1, angle);
    EXPECT_EQ(frame, old);
  }
}

TEST(SharedRandom, RangeSeedAndRandomize) {
  EXPECT_EQ(Random(0) + Random(-3), 0);
  RandSeed(42);
  std::vector<int> counts(7);
  for (int i = 0; i < 7000; ++i) ++counts.at(static_cast<std::size_t>(Random(7)));
  for (int count : counts) EXPECT_NEAR(count, 1000, 150);
  RandSeed(42);
  const std::int32_t first = Random(1 << 30);
  RandSeed(42);
  Randomize();  // a fixed seed stays in force
  EXPECT_EQ(Random(1 << 30), first);
}

}  // namespace
}  // namespace slidesaver
