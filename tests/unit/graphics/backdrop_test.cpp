#include "graphics/backdrop.h"

#include <gtest/gtest.h>

#include <set>

namespace slidesaver {
namespace {

// A picture in vertical bands of the colours given, from left to right.
Bitmap Bands(int width, int height, std::initializer_list<std::uint32_t> colours) {
  Bitmap bitmap(width, height);
  const int count = static_cast<int>(colours.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, *(colours.begin() + x * count / width));
  }
  return bitmap;
}

TEST(Backdrop, IsThePictureCoveringTheScreenDarkerAndSmooth) {
  // A portrait picture covers the width: each half keeps its colour, darkened to some 110/256,
  // and across the seam it blends gradually.
  const Bitmap portrait = Backdrop(Bands(810, 1080, {0xFF0000, 0x0000FF}), {1920, 1080});
  ASSERT_EQ(portrait.Width(), 1920);
  ASSERT_EQ(portrait.Height(), 1080);
  EXPECT_NEAR(portrait.Pixel(10, 500) >> 16, 110, 2);
  EXPECT_EQ(portrait.Pixel(10, 500) & 0xFFFF, 0u);
  EXPECT_NEAR(portrait.Pixel(1900, 500), 110, 2);
  std::set<std::uint32_t> across;
  for (int x = 900; x < 1020; ++x) across.insert(portrait.Pixel(x, 500));
  EXPECT_GT(across.size(), 20u);
  // A panorama covers the height: only its middle shows.
  const Bitmap panorama = Backdrop(Bands(4000, 100, {0x00FF00, 0xFF0000, 0xFF0000, 0x0000FF}), {1920, 1080});
  EXPECT_NEAR(panorama.Pixel(0, 0) >> 16, 110, 2);
  EXPECT_NEAR(panorama.Pixel(1919, 1079) >> 16, 110, 2);
  EXPECT_TRUE(Backdrop(Bitmap(), {1920, 1080}).Empty());
}

}  // namespace
}  // namespace slidesaver
