#include "graphics/canvas.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "graphics/pixel_gather.h"
#include "graphics/text.h"

namespace slidesaver {

namespace {

// How one axis of a stretched copy maps destination coordinates to source ones.
struct AxisMap {
  std::int32_t begin = 0;  // first destination coordinate written
  std::int32_t end = 0;    // one past the last
  bool identity = false;   // source = destination + shift, no scaling or mirroring
  std::int64_t shift = 0;
  std::vector<std::int32_t> source;  // source coordinate of begin + k

  bool Empty() const { return begin >= end; }
};

// Maps the destination span [d0, d1) onto the source span [s0, s1) by the copy
// rule, keeping only destination coordinates inside [0, dstLimit) whose source
// coordinate lies inside [0, srcLimit).
AxisMap MapAxis(std::int64_t d0, std::int64_t d1, std::int64_t s0, std::int64_t s1,
                std::int64_t dstLimit, std::int64_t srcLimit) {
  AxisMap map;
  const std::int64_t dw = d1 - d0;
  const std::int64_t sw = s1 - s0;
  if (dw == 0 || sw == 0) return map;
  const bool mirrored = (dw < 0) != (sw < 0);
  const std::int64_t dMin = std::min(d0, d1);
  const std::int64_t dMax = std::max(d0, d1);
  const std::int64_t sMin = std::min(s0, s1);
  const std::int64_t dLen = dMax - dMin;
  const std::int64_t sLen = std::max(s0, s1) - sMin;
  const std::int64_t visBegin = std::max<std::int64_t>(dMin, 0);
  const std::int64_t visEnd = std::min(dMax, dstLimit);
  if (visBegin >= visEnd) return map;

  if (!mirrored && dLen == sLen) {
    // Unscaled: a plain shift, cut to both bitmaps.
    const std::int64_t shift = sMin - dMin;
    const std::int64_t begin = std::max(visBegin, -shift);
    const std::int64_t end = std::min(visEnd, srcLimit - shift);
    if (begin >= end) return map;
    map.begin = static_cast<std::int32_t>(begin);
    map.end = static_cast<std::int32_t>(end);
    map.identity = true;
    map.shift = shift;
    return map;
  }

  // Index i counts from the mirrored side: i = x - dMin, or dMax - 1 - x when
  // mirrored. Source = sMin + floor((2i + 1) * sLen / (2 * dLen)), stepped
  // incrementally from the first visible i so that nothing overflows.
  const std::int64_t iFirst = mirrored ? dMax - 1 - (visEnd - 1) : visBegin - dMin;
  const std::int64_t count = visEnd - visBegin;
  const std::int64_t denominator = 2 * dLen;
  const __int128 first = static_cast<__int128>(2 * iFirst + 1) * sLen;
  std::int64_t quotient = static_cast<std::int64_t>(first / denominator);
  std::int64_t remainder = static_cast<std::int64_t>(first % denominator);
  const std::int64_t step = 2 * sLen;
  const std::int64_t stepQuotient = step / denominator;
  const std::int64_t stepRemainder = step % denominator;

  std::vector<std::int64_t> byIndex(static_cast<std::size_t>(count));
  for (std::int64_t k = 0; k < count; ++k) {
    byIndex[static_cast<std::size_t>(k)] = sMin + quotient;
    quotient += stepQuotient;
    remainder += stepRemainder;
    if (remainder >= denominator) {
      ++quotient;
      remainder -= denominator;
    }
  }
  if (mirrored) std::reverse(byIndex.begin(), byIndex.end());

  // The source coordinate is monotonic in x, so the valid part is one run.
  std::int64_t lo = 0;
  std::int64_t hi = count;
  const auto valid = [&](std::int64_t k) {
    const std::int64_t s = byIndex[static_cast<std::size_t>(k)];
    return s >= 0 && s < srcLimit;
  };
  while (lo < hi && !valid(lo)) ++lo;
  while (hi > lo && !valid(hi - 1)) --hi;
  if (lo >= hi) return map;
  map.begin = static_cast<std::int32_t>(visBegin + lo);
  map.end = static_cast<std::int32_t>(visBegin + hi);
  map.source.reserve(static_cast<std::size_t>(hi - lo));
  for (std::int64_t k = lo; k < hi; ++k) {
    map.source.push_back(static_cast<std::int32_t>(byIndex[static_cast<std::size_t>(k)]));
  }
  return map;
}

std::int32_t SourceOf(const AxisMap& map, std::int32_t d) {
  if (map.identity) return static_cast<std::int32_t>(d + map.shift);
  return map.source[static_cast<std::size_t>(d - map.begin)];
}

// Rows top <= y < bottom sharing the column spans [left, right).
struct Band {
  std::int32_t top;
  std::int32_t bottom;
  std::vector<std::pair<std::int32_t, std::int32_t>> spans;
};

// Calls each(band) for the parts of `area` inside `clip` (all of it without a clip), band by band
// from the top. The clip's banded rectangles are read where it keeps them, else copied once.
template <typename Each>
void ForEachBand(const TRect& area, const Region* clip, Each each) {
  if (area.IsEmpty()) return;
  std::vector<TRect> merged;
  std::span<const TRect> rects(&area, 1);
  if (clip) {
    rects = clip->Bands();
    if (rects.empty()) {
      merged = clip->Rects();
      rects = merged;
    }
  }
  Band band;
  for (std::size_t k = 0; k < rects.size();) {
    band.top = std::max(rects[k].Top, area.Top);
    band.bottom = std::min(rects[k].Bottom, area.Bottom);
    band.spans.clear();
    for (const std::int32_t top = rects[k].Top; k < rects.size() && rects[k].Top == top; ++k) {
      const std::int32_t left = std::max(rects[k].Left, area.Left);
      const std::int32_t right = std::min(rects[k].Right, area.Right);
      if (left < right) band.spans.emplace_back(left, right);
    }
    if (band.top < band.bottom && !band.spans.empty()) each(std::as_const(band));
  }
}

// Columns [left, right) of a destination row from the source row through the
// column map. `srcEnd` is one past the source bitmap's last byte.
void CopySpan(std::uint8_t* dstRow, const std::uint8_t* srcRow, const std::uint8_t* srcEnd,
              const AxisMap& columns, const std::vector<std::size_t>& offsets, std::int32_t left,
              std::int32_t right) {
  std::uint8_t* d = dstRow + 3 * static_cast<std::size_t>(left);
  if (columns.identity) {
    std::memmove(d, srcRow + 3 * static_cast<std::size_t>(left + columns.shift),
                 3 * static_cast<std::size_t>(right - left));
    return;
  }
  const std::size_t* offset = offsets.data() + (left - columns.begin);
  const std::int32_t n = right - left;
  // The offsets run one way, so the farthest read is at the first or the last
  // of them; a 4-byte read there must stay inside the source.
  const std::size_t farthest = n > 0 ? std::max(offset[0], offset[n - 1]) : 0;
  GatherPixels(d, srcRow, offset, n, srcRow + farthest + 4 <= srcEnd);
}

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

#if defined(__x86_64__) && defined(__GNUC__)
// The pixels of a scaled row gathered by byte shuffles: the row is cut into groups of up to five
// neighbouring pixels whose sources lie within 16 bytes, and each group is one load, one shuffle
// and one store. The groups are worked out once for the columns and serve every row.
class ShuffleGather {
 public:
  // For the pixels at the given byte offsets of a source row; empty when SSSE3 is missing.
  explicit ShuffleGather(const std::vector<std::size_t>& offsets) {
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (!ssse3 || offsets.empty()) return;
    const std::size_t n = offsets.size();
    for (std::size_t k = 0; k < n;) {
      std::size_t m = 1;  // pixels in the group; the offsets run one way, so its ends bound it
      while (m < 5 && k + m < n &&
             std::max(offsets[k], offsets[k + m]) + 3 - std::min(offsets[k], offsets[k + m]) <=
                 16) {
        ++m;
      }
      const std::size_t base = std::min(offsets[k], offsets[k + m - 1]);
      if (base > std::numeric_limits<std::uint32_t>::max() - 16) {
        groups_.clear();
        return;
      }
      Group g{};
      g.source = static_cast<std::uint32_t>(base);
      g.pixels = static_cast<std::uint32_t>(m);
      std::memset(g.mask, 0x80, sizeof g.mask);  // zero bytes after the group's pixels
      for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t c = 0; c < 3; ++c) {
          g.mask[3 * j + c] = static_cast<std::uint8_t>(offsets[k + j] - base + c);
        }
      }
      groups_.push_back(g);
      reach_ = std::max(reach_, base + 16);
      k += m;
    }
    bytes_ = 3 * n;
  }

  // Writes the pixels from the source row `src` to `d`, unless a load could read at or past
  // `srcEnd`; returns whether it did.
  bool Row(std::uint8_t* d, const std::uint8_t* src, const std::uint8_t* srcEnd) const {
    if (groups_.empty() || static_cast<std::size_t>(srcEnd - src) < reach_) return false;
    RowSsse3(d, src);
    return true;
  }

 private:
  struct Group {
    std::uint32_t source;  // byte offset of the 16 bytes read
    std::uint32_t pixels;
    alignas(16) std::uint8_t mask[16];
  };

  // Each group stores 16 bytes, the bytes past its pixels overwritten by the next group; the last
  // groups, whose 16 bytes would pass the row's end, store only their pixels.
  __attribute__((target("ssse3"))) void RowSsse3(std::uint8_t* d, const std::uint8_t* src) const {
    std::size_t at = 0;
    for (const Group& g : groups_) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + g.source));
      const __m128i picked =
          _mm_shuffle_epi8(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(g.mask)));
      if (at + 16 <= bytes_) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + at), picked);
      } else {
        alignas(16) std::uint8_t last[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(last), picked);
        std::memcpy(d + at, last, 3 * static_cast<std::size_t>(g.pixels));
      }
      at += 3 * static_cast<std::size_t>(g.pixels);
    }
  }

  std::vector<Group> groups_;
  std::size_t reach_ = 0;  // bytes past the row's start that the loads read
  std::size_t bytes_ = 0;  // bytes written
};
#else
class ShuffleGather {
 public:
  explicit ShuffleGather(const std::vector<std::size_t>&) {}
  bool Row(std::uint8_t*, const std::uint8_t*, const std::uint8_t*) const { return false; }
};
#endif

}  // namespace

void StretchCopy(Bitmap& dst, const TRect& dstRect, const Bitmap& src, const TRect& srcRect,
                 const Region* clip) {
  if (dst.Empty() || src.Empty()) return;
  if (&dst == &src) {
    // Reading and writing the same pixels: copy from a snapshot of the source.
    const Bitmap snapshot = src;
    StretchCopy(dst, dstRect, snapshot, srcRect, clip);
    return;
  }
  const AxisMap columns = MapAxis(dstRect.Left, dstRect.Right, srcRect.Left, srcRect.Right,
                                  dst.Width(), src.Width());
  if (columns.Empty()) return;
  const AxisMap rows = MapAxis(dstRect.Top, dstRect.Bottom, srcRect.Top, srcRect.Bottom,
                               dst.Height(), src.Height());
  if (rows.Empty()) return;

  std::vector<std::size_t> offsets;
  if (!columns.identity) {
    offsets.reserve(columns.source.size());
    for (std::int32_t s : columns.source) offsets.push_back(3 * static_cast<std::size_t>(s));
  }
  const ShuffleGather gather(offsets);  // for spans of all the columns
  const TRect area{columns.begin, rows.begin, columns.end, rows.end};
  // Whole rows of equal width copied unscaled are one contiguous block.
  const bool wholeRows = columns.identity && rows.identity && columns.shift == 0 &&
                         src.Width() == dst.Width();
  const std::uint8_t* srcEnd = src.ScanLine(0) + src.Stride() * static_cast<std::size_t>(src.Height());
  ForEachBand(area, clip, [&](const Band& band) {
    if (wholeRows && band.spans.size() == 1 && band.spans[0].first == 0 &&
        band.spans[0].second == dst.Width()) {
      std::memcpy(dst.ScanLine(band.top), src.ScanLine(SourceOf(rows, band.top)),
                  dst.Stride() * static_cast<std::size_t>(band.bottom - band.top));
      return;
    }
    std::int32_t previousSource = -1;
    for (std::int32_t y = band.top; y < band.bottom; ++y) {
      const std::int32_t sy = SourceOf(rows, y);
      std::uint8_t* dstRow = dst.ScanLine(y);
      if (sy == previousSource) {
        // The same source row as the row above: repeat what was written there.
        const std::uint8_t* above = dst.ScanLine(y - 1);
        for (const auto& [left, right] : band.spans) {
          std::memcpy(dstRow + 3 * static_cast<std::size_t>(left),
                      above + 3 * static_cast<std::size_t>(left),
                      3 * static_cast<std::size_t>(right - left));
        }
        continue;
      }
      const std::uint8_t* srcRow = src.ScanLine(sy);
      for (const auto& [left, right] : band.spans) {
        if (left == columns.begin && right == columns.end &&
            gather.Row(dstRow + 3 * static_cast<std::size_t>(left), srcRow, srcEnd)) {
          continue;
        }
        CopySpan(dstRow, srcRow, srcEnd, columns, offsets, left, right);
      }
      previousSource = sy;
    }
  });
}

namespace {

// A band of many narrow spans (a grid of bars) would cost two calls per span
// and row; it goes through a byte mask of its spans instead, built once, so
// that every row is one pass choosing between the two sources.
constexpr std::size_t kMaskedSpans = 8;
constexpr std::int32_t kMaskedRows = 4;  // the mask pays for itself over a few rows

using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

// d := mask ? in : out, byte by byte.
void SelectBytes(std::uint8_t* d, const std::uint8_t* in, const std::uint8_t* out,
                 const std::uint8_t* mask, std::size_t n) {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    Bytes16 a, b, m;
    std::memcpy(&a, in + i, 16);
    std::memcpy(&b, out + i, 16);
    std::memcpy(&m, mask + i, 16);
    const Bytes16 r = (a & m) | (b & ~m);
    std::memcpy(d + i, &r, 16);
  }
  for (; i < n; ++i) d[i] = mask[i] ? in[i] : out[i];
}

// ---- Selecting by coverage counts ----
//
// A region made of many rectangles (bars, cells, the rows of a shape) is composed without
// uniting them: going down the rows, each column keeps how many rectangles cover it, a rectangle
// adding itself at its top row and taking itself off at its bottom one. A row is then one pass
// over its columns, whatever the number of spans, and overlaps cost nothing.

constexpr std::size_t kCountedParts = 16;  // from here on counting beats the banded spans
using Count = std::uint16_t;               // so at most 65535 rectangles
using Counts8 = Count __attribute__((vector_size(16)));

// counts[x] += delta for left <= x < right (delta 1 or 0xFFFF, which takes one off). Returns
// whether a column became covered or uncovered: a count left or reached zero.
bool AddToCounts(Count* counts, std::int32_t left, std::int32_t right, Count delta) {
  std::int32_t x = left;
  const Count before = delta == 1 ? 0 : 1;  // a count that crosses zero with this delta
  const Counts8 step = {delta, delta, delta, delta, delta, delta, delta, delta};
  const Counts8 crossing = {before, before, before, before, before, before, before, before};
  Counts8 crossed = {};
  for (; x + 8 <= right; x += 8) {
    Counts8 c;
    std::memcpy(&c, counts + x, sizeof c);
    crossed |= c == crossing;
    c += step;
    std::memcpy(counts + x, &c, sizeof c);
  }
  std::uint64_t half[2];
  std::memcpy(half, &crossed, sizeof half);
  bool any = (half[0] | half[1]) != 0;
  for (; x < right; ++x) {
    any = any || counts[x] == before;
    counts[x] = static_cast<Count>(counts[x] + delta);
  }
  return any;
}

// Whether any of the n counts from `counts` on (n a multiple of 8) is non-zero (`covered`) or zero.
bool AnyCovered(const Count* counts, std::int32_t n, bool covered) {
  const Counts8 zero = {};
  Counts8 hits = zero;
  for (std::int32_t k = 0; k < n; k += 8) {
    Counts8 v;
    std::memcpy(&v, counts + k, sizeof v);
    hits |= covered ? (v != zero) : (v == zero);  // all ones where it holds
  }
  std::uint64_t half[2];
  std::memcpy(half, &hits, sizeof half);
  return (half[0] | half[1]) != 0;
}

// The first x in [from, to) whose count is non-zero (`covered`) or zero (not `covered`); `to`
// when there is none. Whole blocks are skipped first, 32 counts and then 8 at a time.
std::int32_t FirstCovered(const Count* counts, std::int32_t from, std::int32_t to, bool covered) {
  std::int32_t x = from;
  while (x + 32 <= to && !AnyCovered(counts + x, 32, covered)) x += 32;
  while (x + 8 <= to && !AnyCovered(counts + x, 8, covered)) x += 8;
  while (x < to && (counts[x] != 0) != covered) ++x;
  return x;
}

// One past the last x in [from, to) whose count is non-zero (`covered`) or zero; `from` when
// there is none.
std::int32_t AfterLastCovered(const Count* counts, std::int32_t from, std::int32_t to,
                              bool covered) {
  std::int32_t x = to;
  while (x - 32 >= from && !AnyCovered(counts + x - 32, 32, covered)) x -= 32;
  while (x - 8 >= from && !AnyCovered(counts + x - 8, 8, covered)) x -= 8;
  while (x > from && (counts[x - 1] != 0) != covered) --x;
  return x;
}

// Pixels [x, w) of a row, from `in` where counted and from `out` elsewhere, run by run.
void SelectRunsByCount(std::uint8_t* d, const std::uint8_t* in, const std::uint8_t* out,
                       const Count* counts, std::int32_t x, std::int32_t w) {
  while (x < w) {
    const bool covered = counts[x] != 0;
    std::int32_t end = x + 1;
    while (end < w && (counts[end] != 0) == covered) ++end;
    const std::size_t at = 3 * static_cast<std::size_t>(x);
    std::memcpy(d + at, (covered ? in : out) + at, 3 * static_cast<std::size_t>(end - x));
    x = end;
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Thirty-two pixels at a time: their counts become a byte each (0xFF where not covered), packed
// lane by lane, hence the reordering; each 32-byte part of the pixels' 96 bytes takes its mask
// bytes from the 16 pixels that reach into it, in both lanes, and chooses between the two
// sources. Returns how many pixels it did.
__attribute__((target("avx2"))) std::int32_t SelectByCountAvx2(std::uint8_t* d,
                                                                 const std::uint8_t* in,
                                                                 const std::uint8_t* out,
                                                                 const Count* counts,
                                                                 std::int32_t w) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i spread0 = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5,  //
                                           5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m256i spread1 = _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15,
                                           15, 15, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m256i spread2 = _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10,  //
                                           10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15,
                                           15, 15);
  std::int32_t x = 0;
  for (; x + 32 <= w; x += 32) {
    const __m256i c0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(counts + x));
    const __m256i c1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(counts + x + 16));
    const __m256i packed =
        _mm256_packs_epi16(_mm256_cmpeq_epi16(c0, zero), _mm256_cmpeq_epi16(c1, zero));
    const __m256i outsideMask = _mm256_permute4x64_epi64(packed, 0xD8);  // pixels in order
    const __m256i masks[3] = {
        _mm256_shuffle_epi8(_mm256_permute4x64_epi64(outsideMask, 0x44), spread0),
        _mm256_shuffle_epi8(outsideMask, spread1),
        _mm256_shuffle_epi8(_mm256_permute4x64_epi64(outsideMask, 0xEE), spread2)};
    const std::size_t at = 3 * static_cast<std::size_t>(x);
    for (int part = 0; part < 3; ++part) {
      const std::size_t k = at + 32 * static_cast<std::size_t>(part);
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + k));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + k));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + k), _mm256_blendv_epi8(a, b, masks[part]));
    }
  }
  return x;
}
#endif

void SelectRowByCount(std::uint8_t* d, const std::uint8_t* in, const std::uint8_t* out,
                      const Count* counts, std::int32_t w) {
  std::int32_t done = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  // Without AVX2, run by run.
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) done = SelectByCountAvx2(d, in, out, counts, w);
#endif
  SelectRunsByCount(d, in, out, counts, done, w);
}

// Coverage counts of the columns of a w x h corner by a list of rectangles, kept row by row.
class CoverageCounts {
 public:
  CoverageCounts(std::span<const TRect> parts, std::int32_t w, std::int32_t h)
      : startingAt_(static_cast<std::size_t>(h) + 1, kNone),
        endingAt_(static_cast<std::size_t>(h) + 1, kNone),
        counts_(static_cast<std::size_t>(w), 0) {
    // The rectangles cut to the corner, listed by the row they start at and by the row they end
    // at.
    cut_.reserve(parts.size());
    for (const TRect& part : parts) {
      const TRect r = IntersectRect(part, TRect{0, 0, w, h});
      if (!r.IsEmpty()) cut_.push_back(r);
    }
    nextStarting_.resize(cut_.size());
    nextEnding_.resize(cut_.size());
    for (std::size_t k = 0; k < cut_.size(); ++k) {
      nextStarting_[k] = std::exchange(startingAt_[static_cast<std::size_t>(cut_[k].Top)], k);
      nextEnding_[k] = std::exchange(endingAt_[static_cast<std::size_t>(cut_[k].Bottom)], k);
    }
  }

  // Brings the counts to row y, the rows being visited top to bottom, and widens [from, to) by
  // the columns of every rectangle that covered or uncovered a column.
  void MoveTo(std::int32_t y, std::int32_t& from, std::int32_t& to) {
    const auto apply = [&](std::size_t k, Count delta) {
      if (AddToCounts(counts_.data(), cut_[k].Left, cut_[k].Right, delta)) {
        from = std::min(from, cut_[k].Left);
        to = std::max(to, cut_[k].Right);
      }
    };
    for (std::size_t k = endingAt_[static_cast<std::size_t>(y)]; k != kNone; k = nextEnding_[k]) {
      apply(k, static_cast<Count>(0xFFFF));
    }
    for (std::size_t k = startingAt_[static_cast<std::size_t>(y)]; k != kNone;
         k = nextStarting_[k]) {
      apply(k, 1);
    }
  }

  const Count* Counts() const { return counts_.data(); }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::vector<TRect> cut_;
  std::vector<std::size_t> startingAt_, endingAt_, nextStarting_, nextEnding_;
  std::vector<Count> counts_;
};

// both[x] := 1 where a[x] and b[x] are both non-zero, else 0, for from <= x < to.
void CoveredByBoth(const Count* a, const Count* b, Count* both, std::int32_t from,
                   std::int32_t to) {
  const Counts8 zero = {}, one = {1, 1, 1, 1, 1, 1, 1, 1};
  std::int32_t x = from;
  for (; x + 8 <= to; x += 8) {
    Counts8 va, vb;
    std::memcpy(&va, a + x, sizeof va);
    std::memcpy(&vb, b + x, sizeof vb);
    const Counts8 r = (va != zero) & (vb != zero) & one;
    std::memcpy(both + x, &r, sizeof r);
  }
  for (; x < to; ++x) both[x] = a[x] != 0 && b[x] != 0 ? 1 : 0;
}

// SelectCopy over the w x h corner for a region given as the union of overlapping rectangles,
// cut to the union of `within` unless that is empty.
void SelectCopyCounting(Bitmap& dst, const Bitmap& inside, const Bitmap& outside,
                        std::span<const TRect> parts, std::span<const TRect> within,
                        std::int32_t w, std::int32_t h) {
  CoverageCounts covered(parts, w, h);
  std::optional<CoverageCounts> bounds;
  std::vector<Count> both;
  if (!within.empty()) {
    bounds.emplace(within, w, h);
    both.resize(static_cast<std::size_t>(w));
  }
  const Count* const c = bounds ? both.data() : covered.Counts();
  // Rows between changes share their plan: a stretch from one picture on the left, one from
  // either picture on the right, and the mixed columns between them, [mixFrom, mixTo).
  bool leftIn = false, rightIn = false;
  std::int32_t mixFrom = w, mixTo = w;
  for (std::int32_t y = 0; y < h; ++y) {
    std::int32_t from = w, to = 0;  // holding the columns that were covered or uncovered
    covered.MoveTo(y, from, to);
    if (bounds) {
      bounds->MoveTo(y, from, to);
      if (from < to) CoveredByBoth(covered.Counts(), bounds->Counts(), both.data(), from, to);
    }
    if (from < to) {
      // Left of `from` and right of `to` nothing changed: the uniform ends only need looking at
      // from there on, or from the old plan's ends where those lie further in.
      if (from == 0) {
        leftIn = c[0] != 0;
        mixFrom = FirstCovered(c, 0, w, !leftIn);
      } else {
        mixFrom = FirstCovered(c, std::min(from, mixFrom), w, !leftIn);
      }
      if (to == w) rightIn = c[w - 1] != 0;
      const std::int32_t unchangedFrom = to == w ? w : std::max(to, mixTo);
      mixTo = mixFrom == w ? w : AfterLastCovered(c, mixFrom, unchangedFrom, !rightIn);
    }
    std::uint8_t* const d = dst.ScanLine(y);
    const std::uint8_t* const in = inside.ScanLine(y);
    const std::uint8_t* const out = outside.ScanLine(y);
    const auto copy = [&](bool fromIn, std::int32_t from, std::int32_t to) {
      const std::size_t at = 3 * static_cast<std::size_t>(from);
      std::memcpy(d + at, (fromIn ? in : out) + at, 3 * static_cast<std::size_t>(to - from));
    };
    copy(leftIn, 0, mixFrom);
    if (mixFrom < mixTo) {
      const std::size_t at = 3 * static_cast<std::size_t>(mixFrom);
      SelectRowByCount(d + at, in + at, out + at, c + mixFrom, mixTo - mixFrom);
    }
    copy(rightIn, mixTo, w);
  }
}

}  // namespace

void SelectCopy(Bitmap& dst, const Bitmap& inside, const Bitmap& outside, const Region& where) {
  const std::int32_t w = std::min({dst.Width(), inside.Width(), outside.Width()});
  const std::int32_t h = std::min({dst.Height(), inside.Height(), outside.Height()});
  if (w <= 0 || h <= 0) return;
  constexpr std::size_t kMostCounted = std::numeric_limits<Count>::max();
  const auto [parts, within] = where.IntersectedParts();
  if (!within.empty() && parts.size() <= kMostCounted && within.size() <= kMostCounted) {
    SelectCopyCounting(dst, inside, outside, parts, within, w, h);
    return;
  }
  if (const std::span<const TRect> rects = where.Parts();
      rects.size() >= kCountedParts && rects.size() <= kMostCounted) {
    SelectCopyCounting(dst, inside, outside, rects, {}, w, h);
    return;
  }
  const auto bytes = [](std::int32_t pixels) { return 3 * static_cast<std::size_t>(pixels); };
  const auto copy = [&](const Bitmap& from, std::int32_t y, std::int32_t left, std::int32_t right) {
    if (left < right) std::memcpy(dst.ScanLine(y) + bytes(left), from.ScanLine(y) + bytes(left),
                                  bytes(right - left));
  };
  std::int32_t done = 0;  // rows above are written
  std::vector<std::uint8_t> mask;
  ForEachBand(TRect{0, 0, w, h}, &where, [&](const Band& band) {
    for (std::int32_t y = done; y < band.top; ++y) copy(outside, y, 0, w);
    if (band.spans.size() >= kMaskedSpans && band.bottom - band.top >= kMaskedRows) {
      const std::int32_t from = band.spans.front().first, to = band.spans.back().second;
      mask.assign(bytes(to - from), 0);
      for (const auto& [left, right] : band.spans) {
        std::memset(mask.data() + bytes(left - from), 0xFF, bytes(right - left));
      }
      for (std::int32_t y = band.top; y < band.bottom; ++y) {
        copy(outside, y, 0, from);
        SelectBytes(dst.ScanLine(y) + bytes(from), inside.ScanLine(y) + bytes(from),
                    outside.ScanLine(y) + bytes(from), mask.data(), mask.size());
        copy(outside, y, to, w);
      }
    } else {
      for (std::int32_t y = band.top; y < band.bottom; ++y) {
        std::int32_t x = 0;
        for (const auto& [left, right] : band.spans) {
          copy(outside, y, x, left);
          copy(inside, y, left, right);
          x = right;
        }
        copy(outside, y, x, w);
      }
    }
    done = band.bottom;
  });
  for (std::int32_t y = done; y < h; ++y) copy(outside, y, 0, w);
}

TRect TCanvas::ToTarget(TRect r) const {
  return TRect{ClampToInt32(static_cast<std::int64_t>(r.Left) + origin_.X),
               ClampToInt32(static_cast<std::int64_t>(r.Top) + origin_.Y),
               ClampToInt32(static_cast<std::int64_t>(r.Right) + origin_.X),
               ClampToInt32(static_cast<std::int64_t>(r.Bottom) + origin_.Y)};
}

void TCanvas::FillRect(const TRect& r) {
  Bitmap& target = *target_;
  const TRect area = IntersectRect(ToTarget(r), TRect{0, 0, target.Width(), target.Height()});
  if (area.IsEmpty()) return;
  const Bgr colour = ToBgr(brushColor_);
  std::vector<std::uint8_t> pattern(3 * static_cast<std::size_t>(area.Width()));
  for (std::size_t k = 0; k < pattern.size(); k += 3) {
    pattern[k] = colour.b;
    pattern[k + 1] = colour.g;
    pattern[k + 2] = colour.r;
  }
  ForEachBand(area, ClipInTarget(), [&](const Band& band) {
    for (std::int32_t y = band.top; y < band.bottom; ++y) {
      std::uint8_t* row = target.ScanLine(y);
      for (const auto& [left, right] : band.spans) {
        std::memcpy(row + 3 * static_cast<std::size_t>(left), pattern.data(),
                    3 * static_cast<std::size_t>(right - left));
      }
    }
  });
}

void TCanvas::Draw(std::int32_t x, std::int32_t y, const Bitmap& src) {
  const TRect dest{x, y, ClampToInt32(static_cast<std::int64_t>(x) + src.Width()),
                   ClampToInt32(static_cast<std::int64_t>(y) + src.Height())};
  StretchCopy(*target_, ToTarget(dest), src, TRect{0, 0, src.Width(), src.Height()},
              ClipInTarget());
}

void TCanvas::StretchDraw(const TRect& dest, const Bitmap& src) {
  StretchCopy(*target_, ToTarget(dest), src, TRect{0, 0, src.Width(), src.Height()},
              ClipInTarget());
}

void TCanvas::CopyRect(const TRect& dest, const Bitmap& src, const TRect& srcRect) {
  StretchCopy(*target_, ToTarget(dest), src, srcRect, ClipInTarget());
}

TSize TCanvas::TextExtent(std::string_view utf8) { return MeasureText(font_, utf8); }

void TCanvas::TextOut(std::int32_t x, std::int32_t y, std::string_view utf8) {
  DrawText(*target_, ClampToInt32(static_cast<std::int64_t>(x) + origin_.X),
           ClampToInt32(static_cast<std::int64_t>(y) + origin_.Y), font_, utf8, ClipInTarget());
}

void TCanvas::IntersectClip(const Region& region) {
  Region moved = region.Offset(origin_.X, origin_.Y);
  clip_ = clip_ ? clip_->Intersect(moved) : std::move(moved);
}

void TCanvas::IntersectClipRect(const TRect& r) { IntersectClip(Region::FromRect(r)); }

void TCanvas::RemoveClip() { clip_.reset(); }

}  // namespace slidesaver
