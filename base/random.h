#pragma once

#include <cstdint>

namespace slidesaver {

// The program's one pseudo-random generator, shared by the picture order, the
// style choice, the music order and the random transition styles. It is seeded
// from the clock on first use unless RandSeed came first; only the main thread
// draws from it.

// A uniform integer 0 <= r < n; 0 when n <= 0.
std::int32_t Random(std::int32_t n);

// Holds the generator for a run of draws, for loops that make thousands of them: the same
// numbers, in the same order, as that many Random calls. Random must not be called meanwhile.
class RandomDraws {
 public:
  RandomDraws();
  ~RandomDraws();
  RandomDraws(const RandomDraws&) = delete;
  RandomDraws& operator=(const RandomDraws&) = delete;

  std::int32_t operator()(std::int32_t n);
};
// Restarts the generator from a fixed seed (tools and tests).
void RandSeed(std::uint64_t seed);
// Seeds the generator from the clock once; later calls do nothing.
void Randomize();

}  // namespace slidesaver
