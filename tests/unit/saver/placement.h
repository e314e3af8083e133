#pragma once

// Where the saver puts a picture on its screen.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"
#include "payload/graphics.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {

inline Bitmap Decoded(const std::vector<std::uint8_t>& jpeg) { return TJPEGImage(jpeg).Pixels(); }

// The pixel at screen (x, y) when `picture` is placed with its corner at (left, top) on black.
inline std::uint32_t Expected(const Bitmap& picture, int left, int top, int x, int y) {
  const int px = x - left;
  const int py = y - top;
  if (px < 0 || py < 0 || px >= picture.Width() || py >= picture.Height()) return 0;
  return picture.Pixel(px, py);
}

inline void ExpectPlaced(const Bitmap& screen, const Bitmap& picture, int left, int top) {
  ASSERT_EQ(screen.Width(), kScreen.cx);
  ASSERT_EQ(screen.Height(), kScreen.cy);
  for (int y = 0; y < screen.Height(); ++y) {
    for (int x = 0; x < screen.Width(); ++x) {
      ASSERT_EQ(screen.Pixel(x, y), Expected(picture, left, top, x, y)) << x << "," << y;
    }
  }
}

}  // namespace slidesaver::test
