#include "system/run_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "system/exit_cleanup.h"
#include "system/files.h"

namespace slidesaver {
namespace {

// Removes what the folder holds (the program only ever puts files there) and
// then the folder. Links are removed, never followed.
void RemoveFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    if (DIR* dir = ::fdopendir(fd)) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (::unlinkat(fd, entry->d_name, 0) != 0 && errno == EISDIR) {
          ::unlinkat(fd, entry->d_name, AT_REMOVEDIR);
        }
      }
      ::closedir(dir);  // closes fd too
    } else {
      ::close(fd);
    }
  }
  ::rmdir(path.c_str());
}

bool TryLock(int fd) {
  int status;
  do {
    status = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (status != 0 && errno == EINTR);
  return status == 0;
}

bool ProcessLives(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

RunFolder::RunFolder(std::string path, std::intptr_t lock)
    : path_(std::move(path)),
      lock_(lock),
      cleanupId_(AddExitCleanup([path = path_] { RemoveFolder(path); })) {}

std::unique_ptr<RunFolder> RunFolder::Create(const std::string& base) {
  const std::string folder = base.empty() ? RuntimeFolder() : base;
  std::string path = PathJoin(folder, std::string(kRunFolderPrefix) + std::to_string(::getpid()) + "-XXXXXX");
  if (::mkdtemp(path.data()) == nullptr) {
    throw Error("Cannot create a folder in " + folder + ": " + std::strerror(errno));
  }
  // Locked at once: a folder whose lock is free and whose process is gone is
  // left over, and the next start removes it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 || !TryLock(fd)) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    ::rmdir(path.c_str());
    throw Error("Cannot lock the folder " + path + ": " + std::strerror(error));
  }
  return std::unique_ptr<RunFolder>(new RunFolder(path + "/", fd));
}

RunFolder::~RunFolder() {
  RemoveFolder(path_);
  RemoveExitCleanup(cleanupId_);
  ::close(static_cast<int>(lock_));
}

std::string RunFolder::PathOf(std::string_view name) const { return PathJoin(path_, name); }

void RunFolder::RemoveFile(std::string_view name) const { ::unlink(PathOf(name).c_str()); }

std::int64_t RunFolder::FreeBytes() const {
  struct statvfs info;
  if (::fstatvfs(static_cast<int>(lock_), &info) != 0) return 0;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

void RemoveStaleRunFolders(const std::string& base) {
  DIR* dir = ::opendir(base.c_str());
  if (dir == nullptr) return;
  const uid_t self = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    const auto owner = static_cast<pid_t>(RunFolderOwner(entry->d_name));
    if (owner <= 0 || owner == ::getpid() || ProcessLives(owner)) continue;
    const std::string path = PathJoin(base, entry->d_name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info;
    if (::fstat(fd, &info) == 0 && info.st_uid == self && TryLock(fd)) RemoveFolder(path);
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace slidesaver
