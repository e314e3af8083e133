#pragma once

#include <string>
#include <string_view>

namespace slidesaver {

enum class InstanceLockResult {
  Acquired,        // this process now holds the lock
  AlreadyRunning,  // another process holds it
  Unavailable,     // the lock could not be created; carry on without one
};

// The single-instance check: an exclusive flock on a file named after the executable in the
// per-user runtime folder. The lock is held until the object dies; it vanishes with the process,
// so a process that crashed never blocks the next start. A normal release removes the file.
class InstanceLock {
 public:
  InstanceLock() = default;  // holds nothing; result Unavailable
  ~InstanceLock();
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Tries once, without waiting, to take the lock file `name` inside `folder`.
  static InstanceLock TryAcquire(std::string_view folder, std::string_view name);

  // The check for the executable at `executablePath`, in RuntimeFolder(), under
  // InstanceLockName followed by `suffix`. A runtime folder that cannot be
  // provided gives Unavailable.
  static InstanceLock ForExecutable(std::string_view executablePath, std::string_view suffix = {});

  InstanceLockResult result() const { return result_; }

 private:
  InstanceLock(InstanceLockResult result, int fd, std::string path);
  void Release();

  InstanceLockResult result_ = InstanceLockResult::Unavailable;
  int fd_ = -1;
  std::string path_;
};

// The lock name of an executable: its file-name part followed by "Semaphore"
// ("/opt/SAVER.SCR" gives "SAVER.SCRSemaphore").
std::string InstanceLockName(std::string_view executablePath);

}  // namespace slidesaver
