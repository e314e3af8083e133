#include "system/run_folder.h"

namespace slidesaver {

std::uint32_t RunFolderOwner(std::string_view name) {
  if (name.substr(0, kRunFolderPrefix.size()) != kRunFolderPrefix) return 0;
  name.remove_prefix(kRunFolderPrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 10) return 0;
  std::uint64_t pid = 0;
  for (const char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return pid > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(pid);
}

}  // namespace slidesaver
