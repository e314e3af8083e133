#include "system/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>

#include "system/file_io.h"

namespace slidesaver {
namespace {

constexpr int kNameAttempts = 100;

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

ReplacementFile::~ReplacementFile() {
  Close();
  if (!path_.empty() && !committed_) ::unlink(path_.c_str());
}

bool ReplacementFile::Create(const std::string& target, unsigned mode) {
  std::random_device device;
  std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                         static_cast<std::uint64_t>(::getpid()));
  const std::string folder = ParentFolder(target);
  const std::size_t slash = target.rfind('/');
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const std::string candidate = folder + "/." + name + "." + suffix + ".tmp";
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode));
    if (fd >= 0) {
      fd_ = fd;
      path_ = candidate;
      target_ = target;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

std::FILE* ReplacementFile::Stream() {
  if (stream_ == nullptr && fd_ >= 0) {
    stream_ = ::fdopen(fd_, "wb");
    if (stream_ != nullptr) fd_ = -1;  // the stream owns the descriptor now
  }
  return stream_;
}

bool ReplacementFile::Close() {
  bool ok = true;
  if (stream_ != nullptr) {
    ok = std::fclose(stream_) == 0;
    stream_ = nullptr;
  }
  if (fd_ >= 0) {
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
  }
  return ok;
}

bool ReplacementFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool ReplacementFile::KeepAttributesOf(const ReadableFile& original) {
  struct stat info;
  if (::fstat(static_cast<int>(original.Native()), &info) != 0) return false;
  // The creation mode was masked by the umask.
  if (::fchmod(fd_, info.st_mode & 07777) != 0) return false;
  if (::fchown(fd_, info.st_uid, info.st_gid) != 0) {
    // Not the owner: the new file belongs to the writer, as any new file would.
  }
  return true;
}

bool ReplacementFile::Commit(bool sync) {
  if (path_.empty()) {
    errno = EBADF;
    return false;
  }
  if (stream_ != nullptr && std::fflush(stream_) != 0) return false;
  const int fd = stream_ != nullptr ? ::fileno(stream_) : fd_;
  if (sync && ::fsync(fd) != 0) return false;
  if (!Close()) return false;
  if (::rename(path_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  if (sync) {
    // Best effort: the data itself is synced already.
    const int folder = ::open(ParentFolder(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }
  return true;
}

}  // namespace slidesaver
