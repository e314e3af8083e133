#pragma once

#include <cstdint>

namespace slidesaver {

// The Windows virtual-key code of a key: by the keysym the keyboard layout gives it on its first
// level, then, for letters and digits of layouts without Latin letters, by its position (the
// evdev code, as wl_keyboard reports keys). 255 for any other key.
std::uint16_t VirtualKeyOf(std::uint32_t keysym, std::uint32_t evdevCode);

}  // namespace slidesaver
