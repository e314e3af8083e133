#include "graphics/resample.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace slidesaver {
namespace {

constexpr int kWeightBits = 14;
constexpr std::int64_t kWeightOne = std::int64_t{1} << kWeightBits;

// Which source pixels make each output pixel along an axis, and how much each:
// output pixel o takes count[o] pixels from first[o] on, weighted by
// weights[o * stride ...], which sum to kWeightOne.
struct Taps {
  std::vector<int> first, count;
  std::vector<std::int32_t> weights;
  int stride = 0;
};

// Output pixel o covers the source interval [o * from / to, (o + 1) * from / to). Shrinking, the
// weights are the overlaps of that interval with the source pixels; growing, the two source
// pixels around its centre are blended by distance. Positions are kept as integers in units of
// 1 / to (1 / (2 * to) for centres).
Taps AxisTaps(int from, int to) {
  Taps taps;
  const std::int64_t f = from, t = to;
  taps.stride = from > to ? static_cast<int>((f + t - 1) / t) + 1 : 2;
  taps.first.resize(static_cast<std::size_t>(to));
  taps.count.resize(static_cast<std::size_t>(to));
  taps.weights.assign(static_cast<std::size_t>(to) * static_cast<std::size_t>(taps.stride), 0);
  for (std::int64_t o = 0; o < t; ++o) {
    std::int32_t* weights = &taps.weights[static_cast<std::size_t>(o * taps.stride)];
    int n = 0;
    if (from > to) {
      const std::int64_t begin = o * f, end = (o + 1) * f;  // covers `from` units in all
      const std::int64_t first = begin / t, last = (end - 1) / t;
      std::int64_t covered = 0, given = 0;
      for (std::int64_t i = first; i <= last; ++i) {
        covered += std::min(end, (i + 1) * t) - std::max(begin, i * t);
        // Rounding the running total keeps the sum exact.
        const std::int64_t total = (covered * kWeightOne + f / 2) / f;
        weights[n++] = static_cast<std::int32_t>(total - given);
        given = total;
      }
      taps.first[static_cast<std::size_t>(o)] = static_cast<int>(first);
    } else {
      const std::int64_t centre = std::max<std::int64_t>(0, (2 * o + 1) * f - t);  // in 1 / (2t)
      const std::int64_t left = std::min<std::int64_t>(centre / (2 * t), f - 1);
      const std::int64_t fraction = left == f - 1 ? 0 : centre - left * 2 * t;
      const std::int64_t weightRight = (fraction * kWeightOne + t) / (2 * t);
      taps.first[static_cast<std::size_t>(o)] = static_cast<int>(left);
      weights[n++] = static_cast<std::int32_t>(kWeightOne - weightRight);
      if (weightRight != 0) weights[n++] = static_cast<std::int32_t>(weightRight);
    }
    taps.count[static_cast<std::size_t>(o)] = n;
  }
  return taps;
}

// Weights are not negative and sum to kWeightOne: the result is a byte again.
std::uint8_t Blend(std::int32_t sum) {
  return static_cast<std::uint8_t>((sum + static_cast<std::int32_t>(kWeightOne / 2)) >> kWeightBits);
}

// Down: each output row a weighted sum of whole source rows.
Bitmap ResampleRows(const Bitmap& source, int height) {
  const Taps down = AxisTaps(source.Height(), height);
  Bitmap result(source.Width(), height);
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(source.Width());
  std::vector<std::int32_t> sums(rowBytes);
  for (int y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    const std::int32_t* weights = &down.weights[static_cast<std::size_t>(y) * down.stride];
    for (int k = 0; k < down.count[static_cast<std::size_t>(y)]; ++k) {
      const std::uint8_t* in = source.ScanLine(down.first[static_cast<std::size_t>(y)] + k);
      const std::int32_t weight = weights[k];
      for (std::size_t i = 0; i < rowBytes; ++i) sums[i] += weight * in[i];
    }
    std::uint8_t* out = result.ScanLine(y);
    for (std::size_t i = 0; i < rowBytes; ++i) out[i] = Blend(sums[i]);
  }
  return result;
}

// Across: each output pixel a weighted sum of neighbouring source pixels.
Bitmap ResampleColumns(const Bitmap& source, int width) {
  const Taps across = AxisTaps(source.Width(), width);
  Bitmap result(width, source.Height());
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* in = source.ScanLine(y);
    std::uint8_t* out = result.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const std::int32_t* weights = &across.weights[static_cast<std::size_t>(x) * across.stride];
      const std::uint8_t* pixel =
          in + 3 * static_cast<std::size_t>(across.first[static_cast<std::size_t>(x)]);
      std::int32_t b = 0, g = 0, r = 0;
      for (int k = 0; k < across.count[static_cast<std::size_t>(x)]; ++k, pixel += 3) {
        b += weights[k] * pixel[0];
        g += weights[k] * pixel[1];
        r += weights[k] * pixel[2];
      }
      out[3 * x] = Blend(b);
      out[3 * x + 1] = Blend(g);
      out[3 * x + 2] = Blend(r);
    }
  }
  return result;
}

}  // namespace

Bitmap ResampleBitmap(const Bitmap& source, int width, int height) {
  if (source.Empty() || width < 1 || height < 1) return Bitmap();
  // Down first, then across on the (fewer, when shrinking) output rows; an
  // axis that keeps its size is left alone.
  if (source.Height() == height) return source.Width() == width ? source : ResampleColumns(source, width);
  Bitmap rows = ResampleRows(source, height);
  return source.Width() == width ? rows : ResampleColumns(rows, width);
}

}  // namespace slidesaver
