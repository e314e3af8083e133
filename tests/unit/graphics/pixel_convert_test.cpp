#include "graphics/pixel_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace slidesaver {
namespace {

// Every length from none to a few blocks of sixteen, each in a buffer that ends where the pixels
// do (a read past them shows under the address sanitizer).
TEST(BgrToBgrx, EveryLengthGivesEachPixelWithFullAlpha) {
  for (int count = 0; count <= 50; ++count) {
    std::vector<std::uint8_t> src(static_cast<std::size_t>(count) * 3);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(count) * 4, 0);
    BgrToBgrx(src.data(), dst.data(), count);
    for (int p = 0; p < count; ++p) {
      const std::vector<std::uint8_t> want = {src[3 * p], src[3 * p + 1], src[3 * p + 2], 255};
      ASSERT_EQ(std::vector<std::uint8_t>(dst.begin() + 4 * p, dst.begin() + 4 * p + 4), want)
          << "pixel " << p << " of " << count;
    }
  }
}

// Over a surface that already holds some of the pixels (a frame earlier), stretches equal and
// stretches changed, the result is the plain conversion's.
TEST(BgrToBgrxChanged, GivesThePlainConversionWhateverTheSurfaceHeld) {
  for (int count : {0, 5, 17, 18, 50, 97}) {
    std::vector<std::uint8_t> src(static_cast<std::size_t>(count) * 3);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<std::uint8_t> want(static_cast<std::size_t>(count) * 4);
    BgrToBgrx(src.data(), want.data(), count);
    std::vector<std::uint8_t> dst = want;
    for (std::size_t i = 0; i < dst.size(); i += 40) dst[i] ^= 0x5A;  // every tenth pixel stale
    if (count > 20) dst[4 * 20 + 3] = 0;                              // a stale fourth byte
    BgrToBgrxChanged(src.data(), dst.data(), count);
    EXPECT_EQ(dst, want) << count << " pixels";
  }
}

}  // namespace
}  // namespace slidesaver
