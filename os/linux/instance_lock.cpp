#include "system/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "base/error.h"
#include "system/exit_cleanup.h"
#include "system/files.h"

namespace slidesaver {
namespace {

enum class Attempt { Locked, Stale, Busy, Failed };

// Each stale attempt means another process released the lock in between; giving up after many of
// them only guards against a file system that never lets the check succeed.
constexpr int kMaxAttempts = 100;

// True when `path` still names the file open on `fd`. A releasing process unlinks the file while
// holding the lock, so a lock taken on an unlinked file is worthless.
bool PathNamesOpenFile(int fd, const std::string& path) {
  struct stat opened;
  struct stat named;
  if (fstat(fd, &opened) != 0 || lstat(path.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

int LockExclusiveNoWait(int fd) {
  int status;
  do {
    status = flock(fd, LOCK_EX | LOCK_NB);
  } while (status != 0 && errno == EINTR);
  return status;
}

// One try: open or create the file, lock it without waiting, check that it is still the file
// the path names. On Locked, `fd` holds the locked descriptor.
Attempt TryLockOnce(const std::string& path, int& fd) {
  fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Attempt::Failed;
  Attempt outcome = Attempt::Locked;
  if (LockExclusiveNoWait(fd) != 0) {
    outcome = errno == EWOULDBLOCK ? Attempt::Busy : Attempt::Failed;
  } else if (!PathNamesOpenFile(fd, path)) {
    outcome = Attempt::Stale;
  }
  if (outcome != Attempt::Locked) {
    close(fd);
    fd = -1;
  }
  return outcome;
}

}  // namespace

InstanceLock::InstanceLock(InstanceLockResult result, std::intptr_t handle, std::string path)
    : result_(result), handle_(handle), path_(std::move(path)) {
  if (handle_ >= 0) cleanupId_ = AddExitCleanup([path = path_] { unlink(path.c_str()); });
}

// Unlinks while still holding the lock: a process that opened the file meanwhile either finds it
// busy or, once it gets the lock, sees that the path no longer names it and starts over.
void InstanceLock::Release() {
  if (handle_ < 0) return;
  unlink(path_.c_str());
  RemoveExitCleanup(cleanupId_);
  close(static_cast<int>(handle_));
  handle_ = -1;
}

InstanceLock InstanceLock::TryAcquire(std::string_view folder, std::string_view name) {
  std::string path = PathJoin(folder, name);
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    int fd = -1;
    switch (TryLockOnce(path, fd)) {
      case Attempt::Locked:
        return InstanceLock(InstanceLockResult::Acquired, fd, std::move(path));
      case Attempt::Busy:
        return InstanceLock(InstanceLockResult::AlreadyRunning, -1, "");
      case Attempt::Failed:
        return InstanceLock();
      case Attempt::Stale:
        break;
    }
  }
  return InstanceLock();
}

InstanceLock InstanceLock::ForExecutable(std::string_view executablePath,
                                         std::string_view suffix) {
  std::string folder;
  try {
    folder = RuntimeFolder();
  } catch (const Error&) {
    return InstanceLock();
  }
  return TryAcquire(folder, InstanceLockName(executablePath) + std::string(suffix));
}

}  // namespace slidesaver
