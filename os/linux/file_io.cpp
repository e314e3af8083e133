#include "system/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/error.h"

namespace slidesaver {
namespace {

int Fd(std::intptr_t native) { return static_cast<int>(native); }

}  // namespace

std::optional<ReadableFile> ReadableFile::TryOpen(const std::string& path, bool& missing) {
  missing = false;
  // Non-blocking, so that a pipe of that name does not hold the program up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    return std::nullopt;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  return ReadableFile(fd, info.st_size);
}

ReadableFile ReadableFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw Error("Cannot open file \"" + path + "\": " + std::strerror(errno));
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw Error("Cannot open file \"" + path + "\": not a regular file");
  }
  return ReadableFile(fd, info.st_size);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : native_(std::exchange(other.native_, -1)), size_(other.size_) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  if (this != &other) {
    Close();
    native_ = std::exchange(other.native_, -1);
    size_ = other.size_;
  }
  return *this;
}

ReadableFile::~ReadableFile() { Close(); }

void ReadableFile::Close() {
  if (native_ >= 0) ::close(Fd(native_));
  native_ = -1;
}

std::optional<std::size_t> ReadableFile::ReadAt(std::int64_t offset, void* target,
                                                std::size_t count) const {
  for (;;) {
    const ssize_t got = ::pread(Fd(native_), target, count, offset);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return std::nullopt;
  }
}

NewFile NewFile::Create(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw Error("Cannot create file \"" + path + "\": " + std::strerror(errno));
  return NewFile(fd, path);
}

NewFile::NewFile(NewFile&& other) noexcept
    : native_(std::exchange(other.native_, -1)), path_(std::move(other.path_)) {}

NewFile::~NewFile() {
  if (native_ >= 0) ::close(Fd(native_));
}

void NewFile::Write(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    const ssize_t n = ::write(Fd(native_), bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw Error("Cannot write file \"" + path_ + "\": " + std::strerror(errno));
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
}

void NewFile::Close() {
  const int fd = Fd(std::exchange(native_, -1));
  if (fd >= 0 && ::close(fd) != 0) {
    throw Error("Cannot write file \"" + path_ + "\": " + std::strerror(errno));
  }
}

void NewFile::Discard() {
  const int fd = Fd(std::exchange(native_, -1));
  if (fd >= 0) ::close(fd);
  RemoveFile(path_);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace slidesaver
