#pragma once

#include <cstdint>

namespace slidesaver {

// Turns `count` 24-bit pixels (blue, green, red) into 32-bit ones (blue, green, red, 255): the
// layout of a little-endian XRGB8888 or ARGB8888 window surface. Where the processor has AVX2 or
// SSSE3, sixteen pixels at a time.
void BgrToBgrx(const std::uint8_t* src, std::uint8_t* dst, int count);

// The same result, written only where `dst` differs: sixteen pixels at a time are converted in
// registers and compared, and stored only when they changed. For a window surface that holds the
// frame before, the parts a frame left alone cost reads, not writes.
void BgrToBgrxChanged(const std::uint8_t* src, std::uint8_t* dst, int count);

}  // namespace slidesaver
