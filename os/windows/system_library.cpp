#include "os/windows/system_library.h"

#include <windows.h>

namespace slidesaver {

std::string SystemLibraryPath(const char* name, const std::string& folder) {
  std::string path = folder;
  if (path.empty()) {
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    path.assign(system, length < MAX_PATH ? length : 0);
  }
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path + name;
}

}  // namespace slidesaver
