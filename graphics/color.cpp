#include "graphics/color.h"

#include <array>

namespace slidesaver {

std::uint32_t ColorToRGB(TColor color) {
  // 0x00BBGGRR values of the 25 system colours, indexed by the low byte.
  static constexpr std::array<std::uint32_t, 25> kSystem = {
      0xC8D0D4,  // scroll bar
      0xA56E3A,  // background
      0x6A240A,  // active caption
      0x808080,  // inactive caption
      0xC8D0D4,  // menu
      0xFFFFFF,  // window
      0x000000,  // window frame
      0x000000,  // menu text
      0x000000,  // window text
      0xFFFFFF,  // caption text
      0xC8D0D4,  // active border
      0xC8D0D4,  // inactive border
      0x808080,  // application workspace
      0x6A240A,  // highlight
      0xFFFFFF,  // highlight text
      0xC8D0D4,  // button face
      0x808080,  // button shadow
      0x808080,  // grey text
      0x000000,  // button text
      0xC8D0D4,  // inactive caption text
      0xFFFFFF,  // button highlight
      0x404040,  // 3D dark shadow
      0xC8D0D4,  // 3D light
      0x000000,  // info text
      0xE1FFFF,  // info background
  };
  if ((color & 0xFF000000u) == 0x80000000u) {
    const std::uint32_t index = color & 0xFFu;
    return index < kSystem.size() ? kSystem[index] : 0;
  }
  return color & 0x00FFFFFFu;
}

}  // namespace slidesaver
