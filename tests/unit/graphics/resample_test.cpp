#include "graphics/resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "graphics/jpeg.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

Bitmap Filled(int width, int height, std::uint32_t (*pixel)(int x, int y)) {
  Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, pixel(x, y));
  }
  return bitmap;
}

TEST(ResampleBitmap, AveragesWhenShrinkingAndBlendsWhenGrowing) {
  // Columns 0, 60, 120, 180 (blue): halving averages pairs, growing 2 -> 4 blends by distance.
  const Bitmap ramp = Filled(4, 2, [](int x, int) { return std::uint32_t(60 * x); });
  const Bitmap halved = ResampleBitmap(ramp, 2, 1);
  EXPECT_EQ(halved.Pixel(0, 0), 30u);
  EXPECT_EQ(halved.Pixel(1, 0), 150u);
  const Bitmap pair = Filled(2, 1, [](int x, int) { return std::uint32_t(x == 0 ? 0 : 200); });
  const Bitmap grown = ResampleBitmap(pair, 4, 1);
  EXPECT_EQ((std::vector<std::uint32_t>{grown.Pixel(0, 0), grown.Pixel(1, 0), grown.Pixel(2, 0),
                                         grown.Pixel(3, 0)}),
            (std::vector<std::uint32_t>{0, 50, 150, 200}));
  // A third of a pixel each way: every output pixel is an exact mix of whole and partial pixels.
  const Bitmap middle = Filled(3, 1, [](int x, int) { return std::uint32_t(x == 1 ? 90 : 0); });
  const Bitmap thirds = ResampleBitmap(middle, 2, 1);
  EXPECT_EQ(thirds.Pixel(0, 0), 30u);
  EXPECT_EQ(thirds.Pixel(1, 0), 30u);
  // One colour stays that colour at any size; the same size is a copy.
  const Bitmap plain = Filled(7, 5, [](int, int) { return std::uint32_t{0x123456}; });
  for (const auto& [w, h] : {std::pair{3, 2}, std::pair{13, 11}, std::pair{1, 1}, std::pair{7, 9}}) {
    const Bitmap out = ResampleBitmap(plain, w, h);
    ASSERT_EQ(out.Width(), w);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) ASSERT_EQ(out.Pixel(x, y), 0x123456u) << w << "x" << h;
    }
  }
  const Bitmap pattern = MakeTestPattern(9, 7, 3);
  EXPECT_EQ(ResampleBitmap(pattern, 9, 7), pattern);
}

TEST(DecodeJpegScaled, EighthsRoundUpAndStayCloseToTheFullDecode) {
  const std::vector<std::uint8_t> jpeg = EncodeJpeg(MakeTestPattern(203, 101, 4), 95);
  for (int eighths = 1; eighths <= 8; ++eighths) {
    const Bitmap scaled = DecodeJpegScaled(jpeg, eighths);
    EXPECT_EQ(scaled.Width(), (203 * eighths + 7) / 8);
    EXPECT_EQ(scaled.Height(), (101 * eighths + 7) / 8);
  }
  EXPECT_EQ(DecodeJpegScaled(jpeg, 8), DecodeJpeg(jpeg));
  const Bitmap half = DecodeJpegScaled(jpeg, 4);
  const Bitmap averaged = ResampleBitmap(DecodeJpeg(jpeg), half.Width(), half.Height());
  long long difference = 0;
  for (int y = 0; y < half.Height(); ++y) {
    for (int x = 0; x < half.Width(); ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        difference += std::abs(int((half.Pixel(x, y) >> shift) & 255) -
                               int((averaged.Pixel(x, y) >> shift) & 255));
      }
    }
  }
  EXPECT_LT(difference / (3 * half.Width() * half.Height()), 8);  // mean per channel
}

}  // namespace
}  // namespace slidesaver
