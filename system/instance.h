#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slidesaver {

enum class InstanceLockResult {
  Acquired,        // this process now holds the lock
  AlreadyRunning,  // another process holds it
  Unavailable,     // the lock could not be created; carry on without one
};

// The single-instance check: on Linux an exclusive flock on a file named after the executable in
// the per-user runtime folder, on Windows a named semaphore. The lock is held until the object
// dies; it vanishes with the process, so a process that crashed never blocks the next start. A
// normal release removes the lock file, and so does a process that has to end in a hurry
// (exit_cleanup.h).
class InstanceLock {
 public:
  InstanceLock() = default;  // holds nothing; result Unavailable
  ~InstanceLock();
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Tries once, without waiting, to take the lock `name` (a file inside `folder`
  // where locks are files).
  static InstanceLock TryAcquire(std::string_view folder, std::string_view name);

  // The check for the executable at `executablePath`, in RuntimeFolder(), under
  // InstanceLockName followed by `suffix`. A runtime folder that cannot be
  // provided gives Unavailable.
  static InstanceLock ForExecutable(std::string_view executablePath, std::string_view suffix = {});

  InstanceLockResult result() const { return result_; }

 private:
  InstanceLock(InstanceLockResult result, std::intptr_t handle, std::string path);
  void Release();

  InstanceLockResult result_ = InstanceLockResult::Unavailable;
  std::intptr_t handle_ = -1;  // the system's handle of the lock; -1: none
  std::string path_;
  int cleanupId_ = 0;
};

// The lock name of an executable: its file-name part followed by "Semaphore"
// ("/opt/SAVER.SCR" gives "SAVER.SCRSemaphore").
std::string InstanceLockName(std::string_view executablePath);

// What the lock name carries after InstanceLockName so that one copy runs per
// display, as one per log-in session elsewhere: "@" and the display's name
// without its screen number (":0.1" gives "@:0"; "/" and control characters
// replaced by "_"); empty when there is no display name.
std::string DisplaySuffix(std::string_view displayName);

}  // namespace slidesaver
