#include "base/random.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <mutex>

namespace slidesaver {
namespace {

// xoshiro256**: 256 bits of state, period 2^256 - 1, passes the usual
// statistical batteries. Its state is filled through splitmix64 so that any
// 64-bit seed, 0 included, gives a well-mixed non-zero state.
class Xoshiro256 {
 public:
  void Seed(std::uint64_t seed) {
    for (std::uint64_t& word : state_) word = SplitMix64(seed);
  }

  std::uint64_t Next() {
    const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = Rotl(state_[3], 45);
    return result;
  }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  static std::uint64_t SplitMix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  std::uint64_t state_[4] = {};
};

struct SharedGenerator {
  std::mutex mutex;
  Xoshiro256 engine;
  bool seeded = false;           // by RandSeed or by the clock
  bool randomizeCalled = false;  // Randomize acts only once
};

SharedGenerator& Shared() {
  static SharedGenerator generator;
  return generator;
}

std::uint64_t ClockSeed() {
  const auto wall = std::chrono::system_clock::now().time_since_epoch().count();
  const auto steady = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<std::uint64_t>(wall) ^ (static_cast<std::uint64_t>(steady) << 32) ^
         (static_cast<std::uint64_t>(steady) >> 32);
}

// Seeds from the clock unless the generator has a seed already or Randomize
// ran before. The caller holds the mutex.
void RandomizeLocked(SharedGenerator& g) {
  if (g.randomizeCalled) return;
  g.randomizeCalled = true;
  if (g.seeded) return;
  g.engine.Seed(ClockSeed());
  g.seeded = true;
}

// 2^64 mod n for the small n most draws use, worked out at compile time.
constexpr std::size_t kSmallRanges = 1024;
constexpr auto kSmallThresholds = [] {
  std::array<std::uint64_t, kSmallRanges + 1> t{};
  for (std::uint64_t n = 1; n <= kSmallRanges; ++n) t[n] = (0 - n) % n;
  return t;
}();

// A draw for n > 0; the caller holds the mutex.
std::int32_t DrawLocked(SharedGenerator& g, std::int32_t n) {
  if (!g.seeded) RandomizeLocked(g);
  // Values below 2^64 mod n would make the low residues more likely: reject them.
  const std::uint64_t range = static_cast<std::uint64_t>(n);
  const std::uint64_t threshold =
      range <= kSmallRanges ? kSmallThresholds[range] : (0 - range) % range;
  std::uint64_t x = g.engine.Next();
  while (x < threshold) x = g.engine.Next();
  return static_cast<std::int32_t>(x % range);
}

}  // namespace

std::int32_t Random(std::int32_t n) {
  if (n <= 0) return 0;
  SharedGenerator& g = Shared();
  std::lock_guard lock(g.mutex);
  return DrawLocked(g, n);
}

RandomDraws::RandomDraws() { Shared().mutex.lock(); }

RandomDraws::~RandomDraws() { Shared().mutex.unlock(); }

std::int32_t RandomDraws::operator()(std::int32_t n) {
  return n <= 0 ? 0 : DrawLocked(Shared(), n);
}

void RandSeed(std::uint64_t seed) {
  SharedGenerator& g = Shared();
  std::lock_guard lock(g.mutex);
  g.engine.Seed(seed);
  g.seeded = true;
}

void Randomize() {
  SharedGenerator& g = Shared();
  std::lock_guard lock(g.mutex);
  RandomizeLocked(g);
}

}  // namespace slidesaver
