#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace slidesaver {

// Copies n 24-bit pixels from src + offsets[k] to consecutive pixels from d on.
// With `spare` (every read may take a fourth byte that lies inside the source
// buffer) pixels are read as 4 bytes and written 4 at a time as 12 bytes, byte
// order permitting; the rest go 3 bytes at a time.
template <typename Offset>
inline void GatherPixels(std::uint8_t* d, const std::uint8_t* src, const Offset* offsets,
                         std::int32_t n, bool spare) {
  std::int32_t k = 0;
  if (spare && std::endian::native == std::endian::little) {
    for (; k + 4 <= n; k += 4, d += 12) {
      std::uint32_t p[4];
      for (int i = 0; i < 4; ++i) std::memcpy(&p[i], src + offsets[k + i], 4);
      const std::uint64_t low =
          (p[0] & 0xFFFFFFu) | std::uint64_t{p[1] & 0xFFFFFFu} << 24 | std::uint64_t{p[2]} << 48;
      const std::uint32_t high = ((p[2] >> 16) & 0xFFu) | p[3] << 8;
      std::memcpy(d, &low, 8);
      std::memcpy(d + 8, &high, 4);
    }
  }
  for (; k < n; ++k, d += 3) std::memcpy(d, src + offsets[k], 3);
}

}  // namespace slidesaver
