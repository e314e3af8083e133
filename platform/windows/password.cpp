#include "platform/password.h"

#include <windows.h>

#include <string>

namespace slidesaver {

// "PwdChangePasswordA" in MPR.DLL of the system folder, loaded by its full
// path. The library stays loaded for the rest of the process.
PasswordChangeService FindPasswordChangeService() {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  std::string path(folder, length < MAX_PATH ? length : 0);
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  path += "MPR.DLL";
  const HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) return nullptr;
  const FARPROC entry = GetProcAddress(library, "PwdChangePasswordA");
  if (entry == nullptr) {
    FreeLibrary(library);
    return nullptr;
  }
  return reinterpret_cast<PasswordChangeService>(reinterpret_cast<void*>(entry));
}

}  // namespace slidesaver
