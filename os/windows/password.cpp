#include "system/password.h"

#include <windows.h>

#include "os/windows/system_library.h"

namespace slidesaver {

// "PwdChangePasswordA" in MPR.DLL of the system folder, loaded by its full
// path. The library stays loaded for the rest of the process.
PasswordChangeService FindPasswordChangeService() {
  const HMODULE library = LoadLibraryAt(SystemLibraryPath("MPR.DLL"));
  if (library == nullptr) return nullptr;
  const FARPROC entry = GetProcAddress(library, "PwdChangePasswordA");
  if (entry == nullptr) {
    FreeLibrary(library);
    return nullptr;
  }
  return reinterpret_cast<PasswordChangeService>(reinterpret_cast<void*>(entry));
}

}  // namespace slidesaver
