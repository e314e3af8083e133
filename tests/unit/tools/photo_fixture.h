#pragma once

// Pictures for the photo tests: blocks that tell one place from another, and a scratch folder.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/bitmap.h"
#include "tests/support/scratch_folder.h"

namespace slidesaver::test {

// Blocks of 8 x 8 pixels in colours that tell every block from the others.
inline Bitmap Blocks(int width, int height) {
  Bitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bitmap.SetPixel(x, y, std::uint32_t((x / 8) * 40) | std::uint32_t((y / 8) * 60) << 8 | 0x800000);
    }
  }
  return bitmap;
}

inline int MeanDifference(const Bitmap& a, const Bitmap& b) {
  long long sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        sum += std::abs(int((a.Pixel(x, y) >> shift) & 255) - int((b.Pixel(x, y) >> shift) & 255));
      }
    }
  }
  return static_cast<int>(sum / (3LL * a.Width() * a.Height()));
}

struct PhotoFixture : ::testing::Test {
  ScratchFolder scratch{"photos_test"};
  std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(scratch.Path(name)).parent_path());
    std::ofstream(scratch.Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return scratch.Path(name);
  }
};

}  // namespace slidesaver::test
