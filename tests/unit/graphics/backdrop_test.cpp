#include "graphics/backdrop.h"

#include <gtest/gtest.h>

#include <set>

namespace slidesaver {
namespace {

TEST(Backdrop, TheSourceCoversTheReducedScreen) {
  const TSize screen{1920, 1080};  // reduced: 240 x 135
  const struct {
    TSize picture, source;
  } cases[] = {
      {{1080, 1920}, {240, 427}},  // portrait: the width meets the edge last
      {{4000, 1000}, {540, 135}},  // a panorama: the height does
      {{240, 135}, {240, 135}},
      {{0, 10}, {240, 135}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BackdropSourceSize(c.picture, screen), c.source) << c.picture.cx << "x" << c.picture.cy;
  }
}

TEST(Backdrop, IsTheScreensSizeDarkerAndSmooth) {
  Bitmap source(240, 427);
  for (int y = 0; y < source.Height(); ++y) {
    for (int x = 0; x < source.Width(); ++x) source.SetPixel(x, y, x < 120 ? 0xFF0000 : 0x0000FF);
  }
  const Bitmap backdrop = Backdrop(source, {1920, 1080});
  ASSERT_EQ(backdrop.Width(), 1920);
  ASSERT_EQ(backdrop.Height(), 1080);
  // Far from the seam each side keeps its colour, darkened to some 110/256; across the seam it
  // blends gradually.
  EXPECT_NEAR(backdrop.Pixel(10, 500) >> 16, 110, 2);
  EXPECT_EQ(backdrop.Pixel(10, 500) & 0xFFFF, 0u);
  EXPECT_NEAR(backdrop.Pixel(1900, 500), 110, 2);
  std::set<std::uint32_t> across;
  for (int x = 900; x < 1020; ++x) across.insert(backdrop.Pixel(x, 500));
  EXPECT_GT(across.size(), 20u);
  EXPECT_TRUE(Backdrop(Bitmap(), {1920, 1080}).Empty());
}

}  // namespace
}  // namespace slidesaver
