#pragma once

#include <memory>
#include <string>

#include "system/saver_system.h"

namespace slidesaver {

// The desktop's screen-saver services: the "use a password" setting read from
// the key `desktopKey` of HKEY_CURRENT_USER, the password check of
// PASSWORD.CPL in `systemFolder` (the system folder when empty), and the
// system's screen-saver-running flag.
std::unique_ptr<SaverSystem> CreateWindowsSaverSystem(std::string desktopKey,
                                                      std::string systemFolder = {});

}  // namespace slidesaver
