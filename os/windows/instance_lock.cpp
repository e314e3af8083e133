#include <windows.h>

#include <utility>

#include "os/windows/system_error.h"
#include "system/instance.h"

namespace slidesaver {

InstanceLock::InstanceLock(InstanceLockResult result, std::intptr_t handle, std::string path)
    : result_(result), handle_(handle), path_(std::move(path)) {}

// The semaphore goes with its last handle; the system closes it with the process too.
void InstanceLock::Release() {
  if (handle_ == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

// A named semaphore, initial count 0 and maximum 1: only whether the name
// exists matters. The folder plays no part. The name goes to the system in
// UTF-16, so that it reads the same in every process whatever the ANSI code
// page ("Фото.scrSemaphore", not a "?" for each letter it lacks).
InstanceLock InstanceLock::TryAcquire(std::string_view, std::string_view name) {
  const std::string semaphoreName(name);
  const HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, Widen(semaphoreName).c_str());
  if (semaphore == nullptr) return InstanceLock();
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(semaphore);
    return InstanceLock(InstanceLockResult::AlreadyRunning, -1, "");
  }
  return InstanceLock(InstanceLockResult::Acquired, reinterpret_cast<std::intptr_t>(semaphore),
                      semaphoreName);
}

InstanceLock InstanceLock::ForExecutable(std::string_view executablePath,
                                         std::string_view suffix) {
  return TryAcquire({}, InstanceLockName(executablePath) + std::string(suffix));
}

}  // namespace slidesaver
