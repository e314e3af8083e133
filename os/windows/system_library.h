#pragma once

#include <windows.h>

#include <string>

namespace slidesaver {

// The full path of a library in `folder`, or in the system folder when
// `folder` is empty: the folder, a "\" unless it ends in one, the name.
std::string SystemLibraryPath(const char* name, const std::string& folder = {});

// LoadLibraryW on a full path in UTF-8; nullptr when it cannot be loaded.
HMODULE LoadLibraryAt(const std::string& path);

}  // namespace slidesaver
