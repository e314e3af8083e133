#include "system/replacement_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#include "os/windows/system_error.h"
#include "system/file_io.h"
#include "system/files.h"

namespace slidesaver {
namespace {

constexpr int kNameAttempts = 100;

}  // namespace

ReplacementFile::~ReplacementFile() {
  Close();
  if (!path_.empty() && !committed_) DeleteFileW(Widen(path_).c_str());
}

bool ReplacementFile::Create(const std::string& target, unsigned) {
  std::random_device device;
  std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                         GetCurrentProcessId());
  const std::string folder = FolderPart(target);
  const std::string name = FileNamePart(target);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const std::string candidate = folder + "." + name + "." + suffix + ".tmp";
    int fd = -1;
    // _O_EXCL: nothing of that name, a link included, is opened.
    const errno_t error = _wsopen_s(&fd, Widen(candidate).c_str(),
                                    _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
                                    _S_IREAD | _S_IWRITE);
    if (error == 0) {
      fd_ = fd;
      path_ = candidate;
      target_ = target;
      return true;
    }
    if (error != EEXIST) {
      errno = error;
      return false;
    }
  }
  errno = EEXIST;
  return false;
}

std::FILE* ReplacementFile::Stream() {
  if (stream_ == nullptr && fd_ >= 0) {
    stream_ = _fdopen(fd_, "wb");
    if (stream_ != nullptr) fd_ = -1;  // the stream owns the descriptor now
  }
  return stream_;
}

bool ReplacementFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
    const int n = _write(fd_, bytes.data(), chunk);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Permissions on Windows come from the folder the file is made in.
bool ReplacementFile::KeepAttributesOf(const ReadableFile&) { return true; }

bool ReplacementFile::Close() {
  bool ok = true;
  if (stream_ != nullptr) {
    ok = std::fclose(stream_) == 0;
    stream_ = nullptr;
  }
  if (fd_ >= 0) {
    ok = _close(fd_) == 0 && ok;
    fd_ = -1;
  }
  return ok;
}

bool ReplacementFile::Commit(bool sync) {
  if (path_.empty()) {
    errno = EBADF;
    return false;
  }
  if (stream_ != nullptr && std::fflush(stream_) != 0) return false;
  const int fd = stream_ != nullptr ? _fileno(stream_) : fd_;
  if (sync && _commit(fd) != 0) return false;
  if (!Close()) return false;
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (sync ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(Widen(path_).c_str(), Widen(target_).c_str(), flags)) {
    errno = EACCES;
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace slidesaver
