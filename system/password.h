#pragma once

#include <cstdint>

namespace slidesaver {

// The platform's password-change service: it shows the platform's own dialog for changing the
// password kept under `keyName`, owned by the window `parentWindow` (a window handle, as wide as
// a pointer). The two reserved values are passed as 0. Its result carries no meaning for the caller.
using PasswordChangeService = std::uint32_t (*)(const char* keyName, std::intptr_t parentWindow,
                                                std::uint32_t reserved1, std::uint32_t reserved2);

// Looks the service up. Returns nullptr when the platform offers none, which is always the case
// on Linux.
PasswordChangeService FindPasswordChangeService();

}  // namespace slidesaver
