#include "system/instance.h"

#include <utility>

#include "system/files.h"

namespace slidesaver {

InstanceLock::~InstanceLock() { Release(); }

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : result_(std::exchange(other.result_, InstanceLockResult::Unavailable)),
      handle_(std::exchange(other.handle_, -1)),
      path_(std::move(other.path_)),
      cleanupId_(std::exchange(other.cleanupId_, 0)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    Release();
    result_ = std::exchange(other.result_, InstanceLockResult::Unavailable);
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    cleanupId_ = std::exchange(other.cleanupId_, 0);
  }
  return *this;
}

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
