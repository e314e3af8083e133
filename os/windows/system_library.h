#pragma once

#include <string>

namespace slidesaver {

// The full path of a library in `folder`, or in the system folder when
// `folder` is empty: the folder, a "\" unless it ends in one, the name.
std::string SystemLibraryPath(const char* name, const std::string& folder = {});

}  // namespace slidesaver
