#pragma once

#include <cstdint>

namespace slidesaver {

// a * b / c with a 64-bit intermediate, rounded to the nearest integer with
// halves away from zero. A divisor of 0 gives -1.
constexpr std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  const bool negative = (p < 0) != (c < 0);
  const std::int64_t ap = p < 0 ? -p : p;
  const std::int64_t ac = c < 0 ? -static_cast<std::int64_t>(c) : c;
  std::int64_t q = ap / ac;
  if ((ap % ac) * 2 >= ac) ++q;
  return static_cast<std::int32_t>(negative ? -q : q);
}

}  // namespace slidesaver
