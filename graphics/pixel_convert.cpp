#include "graphics/pixel_convert.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SLIDESAVER_X86 1
#endif

namespace slidesaver {
namespace {

void BgrToBgrxScalar(const std::uint8_t* src, std::uint8_t* dst, int count) {
  for (int i = 0; i < count; ++i, src += 3, dst += 4) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = 255;
  }
}

#ifdef SLIDESAVER_X86
// Four 16-byte loads at 12-byte steps cover 16 pixels; each gives 4 pixels through one shuffle.
// The last load reads 4 bytes past the 16 pixels, so a step needs two more pixels after them; the
// final pixels go to the scalar loop.
__attribute__((target("ssse3"))) int BgrToBgrxSsse3(const std::uint8_t* src, std::uint8_t* dst,
                                                      int count) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  for (; i + 18 <= count; i += 16, src += 48, dst += 64) {
    for (int part = 0; part < 4; ++part) {
      const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 12 * part));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16 * part),
                       _mm_or_si128(_mm_shuffle_epi8(in, spread), opaque));
    }
  }
  return i;
}

// Eight pixels from `from` (and 4 bytes past them) converted in a register: two 16-byte loads
// 12 bytes apart, one per lane.
__attribute__((target("avx2"))) inline __m256i EightBgrx(const std::uint8_t* from) {
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                          1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i in = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 12)), 1);
  return _mm256_or_si256(_mm256_shuffle_epi8(in, spread),
                         _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

__attribute__((target("avx2"))) int BgrToBgrxAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                                    int count) {
  int i = 0;
  for (; i + 18 <= count; i += 16, src += 48, dst += 64) {
    __m256i* out = reinterpret_cast<__m256i*>(dst);
    _mm256_storeu_si256(out, EightBgrx(src));
    _mm256_storeu_si256(out + 1, EightBgrx(src + 24));
  }
  return i;
}

// As BgrToBgrxAvx2, but a step of 16 pixels is stored only when its 64 bytes differ from what
// `dst` holds.
__attribute__((target("avx2"))) int BgrToBgrxChangedAvx2(const std::uint8_t* src,
                                                           std::uint8_t* dst, int count) {
  int i = 0;
  for (; i + 18 <= count; i += 16, src += 48, dst += 64) {
    const __m256i low = EightBgrx(src);
    const __m256i high = EightBgrx(src + 24);
    __m256i* out = reinterpret_cast<__m256i*>(dst);
    const __m256i same = _mm256_and_si256(_mm256_cmpeq_epi8(low, _mm256_loadu_si256(out)),
                                          _mm256_cmpeq_epi8(high, _mm256_loadu_si256(out + 1)));
    if (_mm256_movemask_epi8(same) == -1) continue;
    _mm256_storeu_si256(out, low);
    _mm256_storeu_si256(out + 1, high);
  }
  return i;
}
#endif

}  // namespace

void BgrToBgrxChanged(const std::uint8_t* src, std::uint8_t* dst, int count) {
  int done = 0;
#ifdef SLIDESAVER_X86
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) done = BgrToBgrxChangedAvx2(src, dst, count);
#endif
  // Elsewhere, and for the last pixels, plain conversion: the same result.
  BgrToBgrx(src + 3 * done, dst + 4 * done, count - done);
}

void BgrToBgrx(const std::uint8_t* src, std::uint8_t* dst, int count) {
  int done = 0;
#ifdef SLIDESAVER_X86
  static const bool avx2 = __builtin_cpu_supports("avx2");
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (avx2) {
    done = BgrToBgrxAvx2(src, dst, count);
  } else if (ssse3) {
    done = BgrToBgrxSsse3(src, dst, count);
  }
#endif
  BgrToBgrxScalar(src + 3 * done, dst + 4 * done, count - done);
}

}  // namespace slidesaver
