#include "platform/resample.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace slidesaver {
namespace {

constexpr int kWeightBits = 14;
constexpr std::int64_t kWeightOne = std::int64_t{1} << kWeightBits;

// Which source pixels make one output pixel along an axis, and how much each.
struct Taps {
  int first = 0;
  std::vector<std::int32_t> weights;  // sum to kWeightOne
};

// Output pixel o covers the source interval [o * from / to, (o + 1) * from / to). Shrinking, the
// weights are the overlaps of that interval with the source pixels; growing, the two source
// pixels around its centre are blended by distance. Positions are kept as integers in units of
// 1 / to (1 / (2 * to) for centres).
std::vector<Taps> AxisTaps(int from, int to) {
  std::vector<Taps> taps(static_cast<std::size_t>(to));
  const std::int64_t f = from, t = to;
  for (std::int64_t o = 0; o < t; ++o) {
    Taps& tap = taps[static_cast<std::size_t>(o)];
    if (from > to) {
      const std::int64_t begin = o * f, end = (o + 1) * f;  // covers `from` units in all
      tap.first = static_cast<int>(begin / t);
      const std::int64_t last = (end - 1) / t;
      std::int64_t covered = 0, given = 0;
      for (std::int64_t i = tap.first; i <= last; ++i) {
        covered += std::min(end, (i + 1) * t) - std::max(begin, i * t);
        // Rounding the running total keeps the sum exact.
        const std::int64_t total = (covered * kWeightOne + f / 2) / f;
        tap.weights.push_back(static_cast<std::int32_t>(total - given));
        given = total;
      }
    } else {
      const std::int64_t centre = std::max<std::int64_t>(0, (2 * o + 1) * f - t);  // in 1 / (2t)
      const std::int64_t left = std::min<std::int64_t>(centre / (2 * t), f - 1);
      const std::int64_t right = std::min<std::int64_t>(left + 1, f - 1);
      const std::int64_t fraction = left == f - 1 ? 0 : centre - left * 2 * t;
      const std::int64_t weightRight = (fraction * kWeightOne + t) / (2 * t);
      tap.first = static_cast<int>(left);
      tap.weights.push_back(static_cast<std::int32_t>(kWeightOne - weightRight));
      if (right != left && weightRight != 0) {
        tap.weights.push_back(static_cast<std::int32_t>(weightRight));
      }
    }
  }
  return taps;
}

std::uint8_t Blend(std::int64_t sum) {
  const std::int64_t value = (sum + kWeightOne / 2) >> kWeightBits;
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

}  // namespace

Bitmap ResampleBitmap(const Bitmap& source, int width, int height) {
  if (source.Empty() || width < 1 || height < 1) return Bitmap();
  if (source.Width() == width && source.Height() == height) return source;
  // Across first, into rows of the new width, then down.
  const std::vector<Taps> across = AxisTaps(source.Width(), width);
  Bitmap wide(width, source.Height());
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* in = source.ScanLine(y);
    std::uint8_t* out = wide.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const Taps& tap = across[static_cast<std::size_t>(x)];
      std::int64_t sum[3] = {0, 0, 0};
      const std::uint8_t* pixel = in + 3 * static_cast<std::size_t>(tap.first);
      for (const std::int32_t weight : tap.weights) {
        for (int c = 0; c < 3; ++c) sum[c] += weight * pixel[c];
        pixel += 3;
      }
      for (int c = 0; c < 3; ++c) out[3 * x + c] = Blend(sum[c]);
    }
  }
  const std::vector<Taps> down = AxisTaps(source.Height(), height);
  Bitmap result(width, height);
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  std::vector<std::int64_t> sums(rowBytes);
  for (int y = 0; y < height; ++y) {
    const Taps& tap = down[static_cast<std::size_t>(y)];
    std::fill(sums.begin(), sums.end(), 0);
    for (std::size_t k = 0; k < tap.weights.size(); ++k) {
      const std::uint8_t* in = wide.ScanLine(tap.first + static_cast<int>(k));
      const std::int64_t weight = tap.weights[k];
      for (std::size_t i = 0; i < rowBytes; ++i) sums[i] += weight * in[i];
    }
    std::uint8_t* out = result.ScanLine(y);
    for (std::size_t i = 0; i < rowBytes; ++i) out[i] = Blend(sums[i]);
  }
  return result;
}

}  // namespace slidesaver
