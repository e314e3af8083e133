#include "platform/instance.h"

#include "platform/files.h"

namespace slidesaver {

std::string InstanceLockName(std::string_view executablePath) {
  return FileNamePart(executablePath) + "Semaphore";
}

std::string DisplaySuffix(std::string_view displayName) {
  // ":0" and ":0.0" name one display; the screen number is left out.
  const std::size_t colon = displayName.rfind(':');
  const std::size_t dot = displayName.rfind('.');
  if (colon != std::string_view::npos && dot != std::string_view::npos && dot > colon) {
    displayName = displayName.substr(0, dot);
  }
  if (displayName.empty()) return "";
  std::string suffix = "@";
  for (const char c : displayName) {
    const auto u = static_cast<unsigned char>(c);
    suffix.push_back(c == '/' || u < 0x20 || u == 0x7F ? '_' : c);
  }
  return suffix;
}

}  // namespace slidesaver
