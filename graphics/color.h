#pragma once

#include <cstdint>

namespace slidesaver {

// A colour as stored in component streams: 0x00BBGGRR for a plain colour, or
// 0x800000nn for the system colour with index nn.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;

// The plain 0x00BBGGRR value a colour is drawn with; system colours take the
// fixed values of a classic desktop theme.
std::uint32_t ColorToRGB(TColor color);

struct Bgr {
  std::uint8_t b = 0;
  std::uint8_t g = 0;
  std::uint8_t r = 0;
  bool operator==(const Bgr&) const = default;
};

inline Bgr ToBgr(TColor color) {
  const std::uint32_t rgb = ColorToRGB(color);
  return Bgr{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
             static_cast<std::uint8_t>(rgb)};
}

}  // namespace slidesaver
