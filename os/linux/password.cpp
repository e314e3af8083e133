#include "system/password.h"

namespace slidesaver {

// Linux desktops have no screen-saver password service to hand over to.
PasswordChangeService FindPasswordChangeService() { return nullptr; }

}  // namespace slidesaver
