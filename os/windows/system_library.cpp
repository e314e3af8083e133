#include "os/windows/system_library.h"

#include "os/windows/system_error.h"

namespace slidesaver {

std::string SystemLibraryPath(const char* name, const std::string& folder) {
  std::string path = folder;
  if (path.empty()) {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) path = Narrow(std::wstring_view(system, length));
  }
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path + name;
}

HMODULE LoadLibraryAt(const std::string& path) { return LoadLibraryW(Widen(path).c_str()); }

}  // namespace slidesaver
