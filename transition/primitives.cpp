#include "transition/primitives.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SLIDESAVER_X86_SIMD 1
#else
#define SLIDESAVER_X86_SIMD 0
#endif

#include "base/random.h"
#include "graphics/pixel_gather.h"

namespace slidesaver {
namespace {

using RectList = std::vector<TRect>;

std::optional<Region> BuildRegion(RectList& rects) {
  if (rects.empty()) return std::nullopt;
  return Region::FromRects(std::move(rects));
}

// The bars of one direction of CreateBarRegion, written for horizontal bars:
// `along` is the bar length (the width), `across` the extent the bars are
// stacked over (the height). `add(l, t, r, b)` receives the bar in those
// coordinates, so the column pass only has to exchange the axes.
template <typename Add>
void AddBars(std::int32_t extent, std::int32_t along, std::int32_t across, int mode,
             std::int32_t snap, Add add) {
  if (mode == 0) return;
  if (extent > along) {
    // Second pass: the even bars are full, the odd bars grow.
    for (std::int32_t i = 5; i < across + 5; i += 10) {
      add(0, i - 5, along, i);
      if (mode == 1 || mode == 4) add(2 * along - extent, i, along, i + 5);
      if (mode == 2 || mode == 5) add(0, i, extent - along, i + 5);
    }
    return;
  }
  if (extent + snap > along) extent = along;
  for (std::int32_t i = 0; i < across + 5; i += 10) {
    if (mode == 1 || mode == 5) add(along - extent, i, along, i + 5);
    if (mode == 2 || mode == 4) add(0, i, extent, i + 5);
    if (mode == 3) {
      add(along - extent, i, along, i + 5);
      add(0, i + 5, extent, i + 10);
    }
  }
}

// The bars of one direction of CreateRaggedRegion, in the same coordinates as AddBars.
template <typename Add>
void AddRaggedBars(std::int32_t extent, std::int32_t along, std::int32_t across, int mode,
                   RandomDraws& random, Add add) {
  if (mode == 0) return;
  const std::int32_t jitter = extent < along ? along / 7 : 0;
  const std::int32_t overlap = across % 5;
  for (std::int32_t off = 0; off < across; off += 5) {
    const std::int32_t end = off + 5 + overlap;
    switch (mode) {
      case 1: {
        const std::int32_t r1 = random(jitter);
        const std::int32_t r2 = random(jitter);
        add(along - extent + r1 - r2, off, along, end);
        break;
      }
      case 2: {
        const std::int32_t r1 = random(jitter);
        const std::int32_t r2 = random(jitter);
        add(0, off, extent + r1 - r2, end);
        break;
      }
      case 3: {
        const std::int32_t r1 = random(jitter);
        const std::int32_t r2 = random(jitter);
        add((along - extent + r1 - r2) / 2, off, along / 2, end);
        const std::int32_t r3 = random(jitter);
        const std::int32_t r4 = random(jitter);
        add(along / 2, off, (along + extent + r3 - r4) / 2, end);
        break;
      }
      case 4: {
        const std::int32_t r1 = random(jitter);
        const std::int32_t r2 = random(jitter);
        add(along - (extent + r1 - r2) / 2, off, along, end);
        const std::int32_t r3 = random(jitter);
        const std::int32_t r4 = random(jitter);
        add(0, off, (extent + r3 - r4) / 2, end);
        break;
      }
      default:
        return;
    }
  }
}

// The rows of one direction of CreateSprayRegion, in the same coordinates as AddBars.
template <typename Add>
void AddSprayRows(std::int32_t extent, std::int32_t along, std::int32_t across, int mode,
                  RandomDraws& random, Add add) {
  if (mode != 1 && mode != 2) return;
  const std::int32_t depth = extent < along ? along / 10 : 0;
  const std::int32_t cell = std::max(depth / 20, 2);
  const std::int32_t cells = depth / cell;
  const std::int32_t threshold = ((3 * depth) / cell) / 4;
  for (std::int32_t y = 0; y < across; y += cell / 2) {
    if (mode == 1) {
      add(along - extent, y, along, y + cell);
    } else {
      add(0, y, extent, y + cell);
    }
    for (std::int32_t k = cells; k >= 1; --k) {
      const std::int32_t chance = threshold >= k ? 1 : 0;
      if (random(k) > chance) continue;
      if (mode == 1) {
        const std::int32_t left = along - extent - k * cell;
        add(left, y, left + cell, y + cell);
      } else {
        const std::int32_t right = extent + k * cell;
        add(right - cell, y, right, y + cell);
      }
    }
  }
}

// Adders that store a bar given in (along, across) coordinates as a picture rectangle.
auto RowAdder(RectList& rects) {
  return [&rects](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    rects.push_back(Rect(l, t, r, b));
  };
}

auto ColumnAdder(RectList& rects) {
  return [&rects](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    rects.push_back(Rect(t, l, b, r));
  };
}

}  // namespace

std::optional<Region> CreateBarRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                      std::int32_t h, int rowMode, int colMode, std::int32_t snap) {
  RectList rects;
  AddBars(a, w, h, rowMode, snap, RowAdder(rects));
  AddBars(b, h, w, colMode, snap, ColumnAdder(rects));
  return BuildRegion(rects);
}

std::optional<Region> CreateRaggedRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                         std::int32_t h, int rowMode, int colMode) {
  RectList rects;
  {
    RandomDraws random;
    AddRaggedBars(a, w, h, rowMode, random, RowAdder(rects));
    AddRaggedBars(b, h, w, colMode, random, ColumnAdder(rects));
  }
  return BuildRegion(rects);
}

std::optional<Region> CreateSprayRegion(std::int32_t a, std::int32_t b, std::int32_t w,
                                        std::int32_t h, int rowMode, int colMode) {
  RectList rects;
  {
    RandomDraws random;
    AddSprayRows(a, w, h, rowMode, random, RowAdder(rects));
    AddSprayRows(b, h, w, colMode, random, ColumnAdder(rects));
  }
  return BuildRegion(rects);
}

std::optional<Region> CreateRandomSquaresRegion(std::int32_t w, std::int32_t h, std::int32_t p) {
  const std::int32_t pitch = std::max(std::min(w, h) / 50 + p / 10, 1);
  RectList rects;
  {
    RandomDraws random;
    for (std::int32_t x = 0; x < w; x += pitch) {
      for (std::int32_t y = 0; y < h; y += pitch) {
        if (random(100) < p) rects.push_back(Rect(x - pitch, y - pitch, x + pitch, y + pitch));
      }
    }
  }
  return BuildRegion(rects);
}

std::optional<Region> CreateTriangleRegion(TPoint p0, TPoint p1, TPoint p2) {
  const std::array<TPoint, 4> points = {p0, p1, p2, p0};
  return Region::Polygon(points);
}

TRect MirrorCopy(TCanvas& dst, TRect dest, const Bitmap& src, bool mirrorLeftRight,
                bool mirrorTopBottom, TRect srcRect) {
  srcRect = IntersectRect(srcRect, Rect(0, 0, src.Width(), src.Height()));
  if (mirrorLeftRight) {
    const std::int32_t oldLeft = dest.Left;
    dest.Left = dest.Right + 1;
    dest.Right = oldLeft - 1;
  }
  if (mirrorTopBottom) {
    const std::int32_t oldTop = dest.Top;
    dest.Top = dest.Bottom + 1;
    dest.Bottom = oldTop - 1;
  }
  // The copy goes to x = Left, y = Top with extents Right - Left and Bottom - Top,
  // which is the rectangle itself; negative extents mirror.
  dst.CopyRect(dest, src, srcRect);
  return Rect(std::min(dest.Left, dest.Right), std::min(dest.Top, dest.Bottom),
              std::max(dest.Left, dest.Right), std::max(dest.Top, dest.Bottom));
}

namespace {

// ---- Blending ----

// floor(v * w / 100) for a byte v and a weight w of 1..99 is the high half of
// v * BlendFactor(w): the factor exceeds w * 65536 / 100 by less than one, so
// v * factor / 65536 exceeds v * w / 100 by less than 255 / 65536 < 0.004,
// while the fraction of v * w / 100 is a whole number of hundredths, at most
// 0.99, so the excess never reaches the next integer. Every factor fits 16 bits.
constexpr std::uint16_t BlendFactor(std::int32_t w) {
  return static_cast<std::uint16_t>((static_cast<std::uint32_t>(w) * 65536 + 99) / 100);
}

struct BlendWeights {
  std::uint16_t keep;  // factor of the destination byte
  std::uint16_t take;  // factor of the source byte
};

void BlendBytesScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n, BlendWeights w) {
  for (std::size_t i = 0; i < n; ++i) {
    d[i] = static_cast<std::uint8_t>(((d[i] * w.keep) >> 16) + ((s[i] * w.take) >> 16));
  }
}

#if SLIDESAVER_X86_SIMD
// The same arithmetic on 16 or 32 bytes at a time: bytes widened to 16 bits,
// the high halves of the products added (at most 255) and packed back.
// Each returns how many leading bytes it blended.
std::size_t BlendBytesSse2(std::uint8_t* d, const std::uint8_t* s, std::size_t n, BlendWeights w) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i keep = _mm_set1_epi16(static_cast<short>(w.keep));
  const __m128i take = _mm_set1_epi16(static_cast<short>(w.take));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i lo = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(a, zero), keep),
                                     _mm_mulhi_epu16(_mm_unpacklo_epi8(b, zero), take));
    const __m128i hi = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpackhi_epi8(a, zero), keep),
                                     _mm_mulhi_epu16(_mm_unpackhi_epi8(b, zero), take));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(lo, hi));
  }
  return i;
}

// Unpacking and packing both work within 128-bit lanes, so the order is kept.
__attribute__((target("avx2"))) std::size_t BlendBytesAvx2(std::uint8_t* d, const std::uint8_t* s,
                                                           std::size_t n, BlendWeights w) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i keep = _mm256_set1_epi16(static_cast<short>(w.keep));
  const __m256i take = _mm256_set1_epi16(static_cast<short>(w.take));
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i lo = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(a, zero), keep),
                                        _mm256_mulhi_epu16(_mm256_unpacklo_epi8(b, zero), take));
    const __m256i hi = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(a, zero), keep),
                                        _mm256_mulhi_epu16(_mm256_unpackhi_epi8(b, zero), take));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_packus_epi16(lo, hi));
  }
  return i;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

bool HasAvx2Fma() {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return has;
}
#endif

void BlendBytes(std::uint8_t* d, const std::uint8_t* s, std::size_t n, BlendWeights w) {
  std::size_t done = 0;
#if SLIDESAVER_X86_SIMD
  done = HasAvx2() ? BlendBytesAvx2(d, s, n, w) : BlendBytesSse2(d, s, n, w);
#endif
  BlendBytesScalar(d + done, s + done, n - done, w);
}

// ---- Turning ----
//
// Each destination pixel (x, y) of RotateBitmap takes the source pixel whose
// offsets from the pivot are su = rint(dx cos - dy sin) and
// sv = rint(dx sin + dy cos), (dx, dy) being the pixel's own offsets from the
// pivot, computed in long double with sine and cosine taken once, rounding
// halves to even. Long double per pixel is slow, so each sum is computed in
// double and settled in long double only when the double lies within 1e-7 of a
// half-integer.
//
// That gives the same integers: while |dx| + |dy| <= 2^26 the double sum is
// within 3 (|dx| + |dy|) 2^-53 < 2.3e-8 of the real value of the expression
// (cos and sin rounded to double, each product and the sum rounded once) and
// the long double sum within 2 (|dx| + |dy|) 2^-64 of it. So when the double
// lies within 0.5 - 1e-7 of an integer n, the long double lies strictly within
// 0.5 of n and rounds to n, whatever the rule for halves.
//
// Along a row su and sv are monotonic in x (each step of the evaluation is), so
// the pixels whose source lies inside form one run, found by a few probes.

constexpr double kClearOfHalf = 0.5 - 1e-7;
constexpr std::int64_t kMaxFastReach = std::int64_t{1} << 26;
constexpr int kTurnChunk = 256;          // pixels whose source offsets are computed at once
constexpr double kBandSourceRows = 384;  // see RotateBitmap

// The integer nearest to `value`, when that fits in 64 bits.
double NearestInteger(double value) {
#if SLIDESAVER_X86_SIMD
  return static_cast<double>(_mm_cvtsd_si64(_mm_set_sd(value)));
#else
  return std::nearbyint(value);
#endif
}

// What the source offsets of a chunk of a row are computed from.
struct OffsetTerms {
  const double* cosOfX;  // (x - cx) cos in double, from the chunk's first pixel on
  const double* sinOfX;
  double dySin;  // the row's terms in double
  double dyCos;
  double stride;  // bytes per source row
  double base;    // offset of the pivot pixel
};

struct ChunkSummary {
  bool clear = true;   // no sum lay near a half: every offset is right
  double highest = 0;  // the largest offset
};

// Adding and taking off 1.5 * 2^52 leaves a double of magnitude below 2^51
// rounded to an integer (to the nearest one, in the default rounding mode;
// whatever the mode, the check for lying clear of a half catches the rest).
constexpr double kRoundingShifter = 6755399441055744.0;

// The offsets of the first k pixels of a chunk, for the k returned, 2 or 4 at
// a time: the sums rounded, and each checked for lying clear of a half.
#if SLIDESAVER_X86_SIMD
std::int32_t ChunkOffsetsSse2(const OffsetTerms& t, std::int32_t n, std::int32_t* offsets,
                              ChunkSummary& summary) {
  const __m128d uTerm = _mm_set1_pd(t.dySin);
  const __m128d vTerm = _mm_set1_pd(t.dyCos);
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d limit = _mm_set1_pd(kClearOfHalf);
  const __m128d rowBytes = _mm_set1_pd(t.stride);
  const __m128d pixelBytes = _mm_set1_pd(3);
  const __m128d start = _mm_set1_pd(t.base);
  const __m128d shifter = _mm_set1_pd(kRoundingShifter);
  __m128d near = _mm_setzero_pd();
  __m128d highest = _mm_set1_pd(summary.highest);
  std::int32_t k = 0;
  for (; k + 2 <= n; k += 2) {
    const __m128d u = _mm_sub_pd(_mm_loadu_pd(t.cosOfX + k), uTerm);
    const __m128d v = _mm_add_pd(_mm_loadu_pd(t.sinOfX + k), vTerm);
    const __m128d su = _mm_sub_pd(_mm_add_pd(u, shifter), shifter);
    const __m128d sv = _mm_sub_pd(_mm_add_pd(v, shifter), shifter);
    near = _mm_or_pd(near, _mm_cmpge_pd(_mm_and_pd(_mm_sub_pd(u, su), magnitude), limit));
    near = _mm_or_pd(near, _mm_cmpge_pd(_mm_and_pd(_mm_sub_pd(v, sv), magnitude), limit));
    const __m128d offset =
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(sv, rowBytes), _mm_mul_pd(su, pixelBytes)), start);
    highest = _mm_max_pd(highest, offset);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(offsets + k), _mm_cvttpd_epi32(offset));
  }
  summary.clear = summary.clear && _mm_movemask_pd(near) == 0;
  summary.highest =
      std::max(_mm_cvtsd_f64(highest), _mm_cvtsd_f64(_mm_unpackhi_pd(highest, highest)));
  return k;
}

__attribute__((target("avx2"))) double Largest(__m256d four) {
  const __m128d two = _mm_max_pd(_mm256_castpd256_pd128(four), _mm256_extractf128_pd(four, 1));
  return std::max(_mm_cvtsd_f64(two), _mm_cvtsd_f64(_mm_unpackhi_pd(two, two)));
}

// The same, 4 at a time. The fused products are exact: whole numbers below 2^31.
__attribute__((target("avx2,fma"))) std::int32_t ChunkOffsetsAvx2(const OffsetTerms& t,
                                                                  std::int32_t n,
                                                                  std::int32_t* offsets,
                                                                  ChunkSummary& summary) {
  const __m256d uTerm = _mm256_set1_pd(t.dySin);
  const __m256d vTerm = _mm256_set1_pd(t.dyCos);
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d rowBytes = _mm256_set1_pd(t.stride);
  const __m256d pixelBytes = _mm256_set1_pd(3);
  const __m256d start = _mm256_set1_pd(t.base);
  constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
  __m256d farthest = _mm256_setzero_pd();  // the largest distance from a sum to its integer
  __m256d highest = _mm256_set1_pd(summary.highest);
  std::int32_t k = 0;
  for (; k + 4 <= n; k += 4) {
    const __m256d u = _mm256_sub_pd(_mm256_loadu_pd(t.cosOfX + k), uTerm);
    const __m256d v = _mm256_add_pd(_mm256_loadu_pd(t.sinOfX + k), vTerm);
    const __m256d su = _mm256_round_pd(u, kNearest);
    const __m256d sv = _mm256_round_pd(v, kNearest);
    farthest = _mm256_max_pd(farthest, _mm256_and_pd(_mm256_sub_pd(u, su), magnitude));
    farthest = _mm256_max_pd(farthest, _mm256_and_pd(_mm256_sub_pd(v, sv), magnitude));
    const __m256d offset = _mm256_fmadd_pd(sv, rowBytes, _mm256_fmadd_pd(su, pixelBytes, start));
    highest = _mm256_max_pd(highest, offset);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets + k), _mm256_cvttpd_epi32(offset));
  }
  summary.clear = summary.clear && Largest(farthest) < kClearOfHalf;
  summary.highest = Largest(highest);
  return k;
}

#endif

// The offsets of the n pixels of a chunk from the double sums alone; the
// summary says whether they can be trusted.
ChunkSummary ClearOffsets(const OffsetTerms& t, std::int32_t n, std::int32_t* offsets) {
  ChunkSummary summary;
  std::int32_t k = 0;
#if SLIDESAVER_X86_SIMD
  k = HasAvx2Fma() ? ChunkOffsetsAvx2(t, n, offsets, summary)
                   : ChunkOffsetsSse2(t, n, offsets, summary);
#endif
  for (; k < n; ++k) {
    const double u = t.cosOfX[k] - t.dySin;
    const double v = t.sinOfX[k] + t.dyCos;
    const double su = NearestInteger(u);
    const double sv = NearestInteger(v);
    summary.clear =
        summary.clear && std::fabs(u - su) < kClearOfHalf && std::fabs(v - sv) < kClearOfHalf;
    const double offset = sv * t.stride + su * 3 + t.base;
    summary.highest = std::max(summary.highest, offset);
    offsets[k] = static_cast<std::int32_t>(offset);
  }
  return summary;
}

// Copies n pixels from the source offsets to consecutive pixels from d on.
// The source lines are requested first, all at once: near a quarter turn and
// near no turn at all a row reads many short pieces of source rows, which the
// processor does not foresee.
void CopyPixels(std::uint8_t* d, const std::uint8_t* src, const std::int32_t* offsets,
                std::int32_t n, bool spare) {
  for (std::int32_t k = 0; k < n; k += 4) __builtin_prefetch(src + offsets[k]);
  GatherPixels(d, src, offsets, n, spare);
}

// The terms of one destination row and the run of its pixels whose source lies inside.
struct TurnRow {
  long double dySin = 0;  // (y - cy) sin
  long double dyCos = 0;
  double dySinD = 0;  // the same in double
  double dyCosD = 0;
  std::int32_t begin = 0;
  std::int32_t end = 0;
};

class Turn {
 public:
  Turn(const Bitmap& src, std::int32_t width, std::int32_t height, std::int32_t cx, std::int32_t cy,
       double angle)
      : pixels_(src.ScanLine(0)),
        stride_(src.Stride()),
        sourceBytes_(src.Stride() * static_cast<std::size_t>(src.Height())),
        width_(width),
        height_(height),
        cx_(cx),
        cy_(cy),
        sine_(std::sin(static_cast<long double>(angle))),
        cosine_(std::cos(static_cast<long double>(angle))),
        sineD_(static_cast<double>(sine_)),
        cosineD_(static_cast<double>(cosine_)) {
    const auto reach = [](std::int64_t pivot, std::int64_t size) {
      return std::max(std::abs(pivot), std::abs(size - 1 - pivot));
    };
    pivotOffset_ = static_cast<double>(cy) * static_cast<double>(stride_) + 3.0 * cx;
    fast_ = reach(cx, width) + reach(cy, height) <= kMaxFastReach &&
            stride_ * static_cast<std::size_t>(height) < (std::size_t{1} << 31);
    if (!fast_) return;
    cosOfX_.resize(static_cast<std::size_t>(width));
    sinOfX_.resize(static_cast<std::size_t>(width));
    for (std::int32_t x = 0; x < width; ++x) {
      const double dx = static_cast<double>(static_cast<std::int64_t>(x) - cx);
      cosOfX_[static_cast<std::size_t>(x)] = dx * cosineD_;
      sinOfX_[static_cast<std::size_t>(x)] = dx * sineD_;
    }
  }

  // A NaN or infinite angle gives no source pixel anywhere.
  bool Defined() const { return std::isfinite(sine_) && std::isfinite(cosine_); }
  double Sine() const { return sineD_; }

  TurnRow Row(std::int32_t y) const {
    TurnRow r;
    const std::int64_t cx = cx_, cy = cy_;
    const long double dy = static_cast<long double>(y) - cy;
    r.dySin = dy * sine_;
    r.dyCos = dy * cosine_;
    r.dySinD = static_cast<double>(y - cy) * sineD_;
    r.dyCosD = static_cast<double>(y - cy) * cosineD_;
    const auto [uBegin, uEnd] = AxisRun(cosine_ >= 0, cosineD_, -r.dySinD, -cx, width_ - cx,
                                        [&](std::int32_t x) { return Su(r, x); });
    const auto [vBegin, vEnd] = AxisRun(sine_ >= 0, sineD_, r.dyCosD, -cy, height_ - cy,
                                        [&](std::int32_t x) { return Sv(r, x); });
    r.begin = std::max(uBegin, vBegin);
    r.end = std::max(r.begin, std::min(uEnd, vEnd));
    return r;
  }

  // Pixels [begin, end) of the row, all inside its run, into the row `out`.
  void Draw(const TurnRow& r, std::int32_t begin, std::int32_t end, std::uint8_t* out) const {
    if (!fast_) {
      for (std::int32_t x = begin; x < end; ++x) {
        std::memcpy(out + 3 * static_cast<std::size_t>(x), pixels_ + Offset(Su(r, x), Sv(r, x)), 3);
      }
      return;
    }
    // In chunks: the source offsets of a chunk first, from the double sums (or
    // pixel by pixel when one lies near a half), then the copies.
    std::array<std::int32_t, kTurnChunk> offsets;
    for (std::int32_t x = begin; x < end; x += kTurnChunk) {
      const std::int32_t n = std::min(kTurnChunk, end - x);
      const OffsetTerms terms{.cosOfX = cosOfX_.data() + x,
                              .sinOfX = sinOfX_.data() + x,
                              .dySin = r.dySinD,
                              .dyCos = r.dyCosD,
                              .stride = static_cast<double>(stride_),
                              .base = pivotOffset_};
      ChunkSummary summary = ClearOffsets(terms, n, offsets.data());
      if (!summary.clear) {
        summary.highest = 0;
        for (std::int32_t k = 0; k < n; ++k) {
          const std::size_t offset = Offset(Su(r, x + k), Sv(r, x + k));
          offsets[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(offset);
          summary.highest = std::max(summary.highest, static_cast<double>(offset));
        }
      }
      CopyPixels(out + 3 * static_cast<std::size_t>(x), pixels_, offsets.data(), n,
                 summary.highest + 4 <= static_cast<double>(sourceBytes_));
    }
  }

 private:
  struct Run {
    std::int32_t begin;
    std::int32_t end;
  };

  long double ExactSu(const TurnRow& r, std::int32_t x) const {
    const long double dx = static_cast<long double>(x) - cx_;
    return std::rint(dx * cosine_ - r.dySin);
  }
  long double ExactSv(const TurnRow& r, std::int32_t x) const {
    const long double dx = static_cast<long double>(x) - cx_;
    return std::rint(dx * sine_ + r.dyCos);
  }

  // The source pixel's offsets from the pivot for pixel x of row r.
  std::int64_t Su(const TurnRow& r, std::int32_t x) const {
    if (fast_) {
      const double estimate = cosOfX_[static_cast<std::size_t>(x)] - r.dySinD;
      const double nearest = NearestInteger(estimate);
      if (std::fabs(estimate - nearest) < kClearOfHalf) return static_cast<std::int64_t>(nearest);
    }
    return static_cast<std::int64_t>(ExactSu(r, x));
  }
  std::int64_t Sv(const TurnRow& r, std::int32_t x) const {
    if (fast_) {
      const double estimate = sinOfX_[static_cast<std::size_t>(x)] + r.dyCosD;
      const double nearest = NearestInteger(estimate);
      if (std::fabs(estimate - nearest) < kClearOfHalf) return static_cast<std::int64_t>(nearest);
    }
    return static_cast<std::int64_t>(ExactSv(r, x));
  }

  // The first x of [lo, hi) where `holds` is true, or hi; `holds` is false and
  // then true along the row. The search walks from the guess, the crossing of
  // the straight line the sums follow, which is off by a pixel or so; a poor
  // guess (a nearly level line) only makes the walk longer.
  template <typename Pred>
  static std::int32_t FirstWhere(std::int32_t lo, std::int32_t hi, double guess, Pred holds) {
    std::int32_t x = lo;  // also for a NaN guess
    if (guess >= hi) {
      x = hi;
    } else if (guess > lo) {
      x = static_cast<std::int32_t>(std::ceil(guess));
    }
    while (x > lo && holds(x - 1)) --x;
    while (x < hi && !holds(x)) ++x;
    return x;
  }

  // The run of x where low <= s(x) < high, for s rising (or falling) along the
  // row as about (x - cx) slope + offset.
  template <typename Coordinate>
  Run AxisRun(bool rising, double slope, double offset, std::int64_t low, std::int64_t high,
              Coordinate s) const {
    const auto guess = [&](std::int64_t bound) {
      return static_cast<double>(cx_) + (static_cast<double>(bound) - 0.5 - offset) / slope;
    };
    if (rising) {
      return {FirstWhere(0, width_, guess(low), [&](std::int32_t x) { return s(x) >= low; }),
              FirstWhere(0, width_, guess(high), [&](std::int32_t x) { return s(x) >= high; })};
    }
    return {FirstWhere(0, width_, guess(high), [&](std::int32_t x) { return s(x) < high; }),
            FirstWhere(0, width_, guess(low), [&](std::int32_t x) { return s(x) < low; })};
  }

  std::size_t Offset(std::int64_t su, std::int64_t sv) const {
    return static_cast<std::size_t>(sv + cy_) * stride_ + 3 * static_cast<std::size_t>(su + cx_);
  }

  const std::uint8_t* pixels_;
  std::size_t stride_;
  std::size_t sourceBytes_;
  std::int32_t width_;
  std::int32_t height_;
  std::int32_t cx_;
  std::int32_t cy_;
  long double sine_;
  long double cosine_;
  double sineD_;
  double cosineD_;
  double pivotOffset_ = 0;  // where the pivot pixel would lie in the source, in bytes
  bool fast_ = false;
  std::vector<double> cosOfX_;  // (x - cx) cos in double, per column
  std::vector<double> sinOfX_;
};

}  // namespace

void BlendBitmaps(Bitmap& dst, const Bitmap& src, std::int32_t percent) {
  const std::int32_t p = std::clamp(percent, 0, 100);
  // Both bitmaps have the same size in every caller; never reach past the smaller one.
  const int height = std::min(dst.Height(), src.Height());
  const int width = std::min(dst.Width(), src.Width());
  if (p == 0 || height <= 0 || width <= 0) return;  // every byte keeps its value
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  // Rows of equal width follow each other without a gap: one run of bytes.
  const bool oneRun = dst.Width() == src.Width();
  const int runs = oneRun ? 1 : height;
  const std::size_t runBytes = oneRun ? rowBytes * static_cast<std::size_t>(height) : rowBytes;
  const BlendWeights weights{BlendFactor(100 - p), BlendFactor(p)};
  for (int y = 0; y < runs; ++y) {
    if (p == 100) {
      std::memmove(dst.ScanLine(y), src.ScanLine(y), runBytes);  // the source byte exactly
    } else {
      BlendBytes(dst.ScanLine(y), src.ScanLine(y), runBytes, weights);
    }
  }
}

void RotateBitmap(Bitmap& dst, const Bitmap& src, std::int32_t cx, std::int32_t cy, double angle) {
  const int width = std::min(dst.Width(), src.Width());
  const int height = std::min(dst.Height(), src.Height());
  if (width <= 0 || height <= 0) return;
  const Turn turn(src, width, height, cx, cy, angle);
  if (!turn.Defined()) return;
  std::vector<TurnRow> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = turn.Row(y);
  // Band by band from the top down: the rows of a band read the source along
  // neighbouring lines, so what one row reads is still cached for the next. A
  // row of a band crosses at most about kBandSourceRows source rows, each on
  // pages of its own, so that their address translations stay cached too.
  const double crossing = std::fabs(turn.Sine());
  const std::int32_t band = crossing * width <= kBandSourceRows
                                ? width
                                : static_cast<std::int32_t>(kBandSourceRows / crossing);
  for (std::int32_t left = 0; left < width; left += band) {
    const std::int32_t right = std::min(width - left, band) + left;
    for (int y = 0; y < height; ++y) {
      const TurnRow& r = rows[static_cast<std::size_t>(y)];
      const std::int32_t begin = std::max(r.begin, left);
      const std::int32_t end = std::min(r.end, right);
      if (begin < end) turn.Draw(r, begin, end, dst.ScanLine(y));
    }
  }
}

}  // namespace slidesaver
