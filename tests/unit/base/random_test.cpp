#include "base/random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace slidesaver {
namespace {

TEST(RandomDraws, SameNumbersAsSingleDraws) {
  // Small ranges use the table of thresholds, large ones work theirs out.
  const std::vector<std::int32_t> ranges = {1,    2,    3,     7,          100, 1023,
                                            1024, 1025, 99991, 0x7FFFFFFF, 0,   -5};
  RandSeed(21);
  std::vector<std::int32_t> single;
  for (int round = 0; round < 50; ++round) {
    for (std::int32_t n : ranges) single.push_back(Random(n));
  }
  RandSeed(21);
  std::vector<std::int32_t> batched;
  {
    RandomDraws draw;
    for (int round = 0; round < 50; ++round) {
      for (std::int32_t n : ranges) batched.push_back(draw(n));
    }
  }
  EXPECT_EQ(batched, single);
  EXPECT_GE(Random(10), 0);  // the generator is free again
}

}  // namespace
}  // namespace slidesaver
