#include "graphics/backdrop.h"

#include <algorithm>
#include <cstdint>
#include <vector>


namespace slidesaver {
namespace {

// Box blur radius at the reduced size, and passes: three boxes come close to a Gaussian of
// about 6.5 reduced pixels (some 50 screen pixels).
constexpr int kRadius = 6;
constexpr int kPasses = 3;
// What is left of the light: 110/256.
constexpr int kDarkened = 110;

TSize Reduced(TSize screen) {
  return {std::max(1, (screen.cx + kBackdropReduction - 1) / kBackdropReduction),
          std::max(1, (screen.cy + kBackdropReduction - 1) / kBackdropReduction)};
}

// One box pass along a line of `count` pixels `step` bytes apart; the edge pixels repeat.
void BoxLine(std::uint8_t* line, int count, std::size_t step, std::vector<std::uint8_t>& copy) {
  copy.resize(static_cast<std::size_t>(count) * 3);
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < 3; ++c) copy[std::size_t(i) * 3 + c] = line[std::size_t(i) * step + c];
  }
  const auto at = [&](int i, int c) {
    return int{copy[std::size_t(std::clamp(i, 0, count - 1)) * 3 + c]};
  };
  constexpr int kWidth = 2 * kRadius + 1;
  for (int c = 0; c < 3; ++c) {
    int sum = 0;
    for (int i = -kRadius; i <= kRadius; ++i) sum += at(i, c);
    for (int i = 0; i < count; ++i) {
      line[std::size_t(i) * step + c] = static_cast<std::uint8_t>((sum + kWidth / 2) / kWidth);
      sum += at(i + kRadius + 1, c) - at(i - kRadius, c);
    }
  }
}

// Where output pixel i of `to` falls between two of `from` pixels: the first, and the weight
// (of 256) of the second; pixel centres meet pixel centres, the edges repeat.
struct Tap {
  int first;
  int weight;
};
std::vector<Tap> Taps(int from, int to) {
  std::vector<Tap> taps(static_cast<std::size_t>(to));
  for (int i = 0; i < to; ++i) {
    const std::int64_t at = (std::int64_t{2 * i + 1} * from * 256) / (2 * to) - 128;  // in 1/256
    const std::int64_t clamped = std::clamp<std::int64_t>(at, 0, std::int64_t{from - 1} * 256);
    taps[std::size_t(i)] = {static_cast<int>(clamped >> 8), static_cast<int>(clamped & 255)};
  }
  return taps;
}

// The small picture scaled up to the screen, blending linearly between its pixels: each screen
// row from two of its rows scaled along x, of which only the last two are kept.
Bitmap ScaledUp(const Bitmap& small, TSize screen) {
  const std::vector<Tap> across = Taps(small.Width(), screen.cx);
  const std::vector<Tap> down = Taps(small.Height(), screen.cy);
  const std::size_t length = std::size_t(screen.cx) * 3;
  std::vector<std::uint16_t> rows[2] = {std::vector<std::uint16_t>(length),
                                        std::vector<std::uint16_t>(length)};
  int held[2] = {-1, -1};
  const auto wide = [&](int y) -> const std::uint16_t* {
    const int slot = y & 1;
    if (held[slot] != y) {
      const std::uint8_t* in = small.ScanLine(y);
      std::uint16_t* row = rows[slot].data();
      for (int x = 0; x < screen.cx; ++x) {
        const Tap t = across[std::size_t(x)];
        const std::uint8_t* a = in + std::size_t(t.first) * 3;
        const std::uint8_t* b = t.weight ? a + 3 : a;
        for (int c = 0; c < 3; ++c) {
          row[std::size_t(x) * 3 + c] = static_cast<std::uint16_t>(a[c] * (256 - t.weight) + b[c] * t.weight);
        }
      }
      held[slot] = y;
    }
    return rows[slot].data();
  };
  Bitmap out = Bitmap::Unfilled(screen.cx, screen.cy);
  for (int y = 0; y < screen.cy; ++y) {
    const Tap t = down[std::size_t(y)];
    const std::uint16_t* a = wide(t.first);
    const std::uint16_t* b = t.weight ? wide(t.first + 1) : a;
    std::uint8_t* row = out.ScanLine(y);
    const std::uint32_t wa = 256 - t.weight, wb = t.weight;
    for (std::size_t i = 0; i < length; ++i) {
      row[i] = static_cast<std::uint8_t>((a[i] * wa + b[i] * wb + 32768) >> 16);
    }
  }
  return out;
}

}  // namespace

Bitmap Backdrop(const Bitmap& picture, TSize screen) {
  if (picture.Empty() || screen.cx <= 0 || screen.cy <= 0) return {};
  const TSize reduced = Reduced(screen);
  // The picture scaled to cover the reduced screen and cut around its centre, by averaging
  // the picture's pixels under each reduced one: no copy of the picture at another size.
  const double scale = std::max(double(reduced.cx) / picture.Width(), double(reduced.cy) / picture.Height());
  const auto spans = [&](int count, int length) {
    // Where each of `count` reduced pixels begins in a picture side of `length`; one more at the end.
    std::vector<int> at(static_cast<std::size_t>(count) + 1);
    const double offset = (length - count / scale) / 2;
    for (int i = 0; i <= count; ++i) {
      at[std::size_t(i)] = std::clamp(static_cast<int>(offset + i / scale), 0, length);
    }
    for (int i = 0; i < count; ++i) {  // every reduced pixel takes at least one picture pixel
      at[std::size_t(i) + 1] = std::max(at[std::size_t(i) + 1], std::min(at[std::size_t(i)] + 1, length));
      at[std::size_t(i)] = std::min(at[std::size_t(i)], length - 1);
    }
    return at;
  };
  const std::vector<int> columns = spans(reduced.cx, picture.Width());
  const std::vector<int> rows = spans(reduced.cy, picture.Height());
  Bitmap small(reduced.cx, reduced.cy);
  std::vector<std::uint32_t> sums(std::size_t(reduced.cx) * 3);
  for (int y = 0; y < reduced.cy; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    const int top = rows[std::size_t(y)], bottom = std::max(rows[std::size_t(y) + 1], top + 1);
    for (int py = top; py < bottom; ++py) {
      const std::uint8_t* in = picture.ScanLine(py);
      for (int x = 0; x < reduced.cx; ++x) {
        for (int px = columns[std::size_t(x)]; px < std::max(columns[std::size_t(x) + 1], columns[std::size_t(x)] + 1); ++px) {
          for (int c = 0; c < 3; ++c) sums[std::size_t(x) * 3 + c] += in[std::size_t(px) * 3 + c];
        }
      }
    }
    std::uint8_t* out = small.ScanLine(y);
    for (int x = 0; x < reduced.cx; ++x) {
      const std::uint32_t area = std::uint32_t(bottom - top) *
          std::uint32_t(std::max(columns[std::size_t(x) + 1], columns[std::size_t(x)] + 1) - columns[std::size_t(x)]);
      for (int c = 0; c < 3; ++c) out[std::size_t(x) * 3 + c] = static_cast<std::uint8_t>(sums[std::size_t(x) * 3 + c] / area);
    }
  }
  std::vector<std::uint8_t> copy;
  for (int pass = 0; pass < kPasses; ++pass) {
    for (int y = 0; y < reduced.cy; ++y) BoxLine(small.ScanLine(y), reduced.cx, 3, copy);
    for (int x = 0; x < reduced.cx; ++x) {
      BoxLine(small.ScanLine(0) + std::size_t(x) * 3, reduced.cy, small.Stride(), copy);
    }
  }
  for (int y = 0; y < reduced.cy; ++y) {
    std::uint8_t* row = small.ScanLine(y);
    for (std::size_t i = 0; i < small.Stride(); ++i) row[i] = static_cast<std::uint8_t>(row[i] * kDarkened >> 8);
  }
  return ScaledUp(small, screen);
}

}  // namespace slidesaver
