#include "system/file_io.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/error.h"
#include "os/windows/system_error.h"

namespace slidesaver {
namespace {

HANDLE Handle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }
constexpr std::intptr_t kNone = -1;  // INVALID_HANDLE_VALUE

// Others may read the file and rename or delete it (the open handle still reads
// what it held), but not write it.
HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// True for a file on disk, not a device or a pipe.
bool IsDiskFile(HANDLE file) { return GetFileType(file) == FILE_TYPE_DISK; }

}  // namespace

std::optional<ReadableFile> ReadableFile::TryOpen(const std::string& path, bool& missing) {
  missing = false;
  const HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  LARGE_INTEGER size;
  if (!IsDiskFile(file) || !GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return std::nullopt;
  }
  return ReadableFile(reinterpret_cast<std::intptr_t>(file), size.QuadPart);
}

ReadableFile ReadableFile::Open(const std::string& path) {
  const HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) {
    throw Error("Cannot open file \"" + path + "\": " + SystemErrorText(GetLastError()));
  }
  LARGE_INTEGER size;
  if (!IsDiskFile(file) || !GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    throw Error("Cannot open file \"" + path + "\": not a regular file");
  }
  return ReadableFile(reinterpret_cast<std::intptr_t>(file), size.QuadPart);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : native_(std::exchange(other.native_, kNone)), size_(other.size_) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  if (this != &other) {
    Close();
    native_ = std::exchange(other.native_, kNone);
    size_ = other.size_;
  }
  return *this;
}

ReadableFile::~ReadableFile() { Close(); }

void ReadableFile::Close() {
  if (native_ != kNone) CloseHandle(Handle(native_));
  native_ = kNone;
}

std::optional<std::size_t> ReadableFile::ReadAt(std::int64_t offset, void* target,
                                                std::size_t count) const {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
  DWORD got = 0;
  if (!ReadFile(Handle(native_), target, want, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    return std::nullopt;
  }
  return got;
}

NewFile NewFile::Create(const std::string& path) {
  // CREATE_NEW fails when anything of that name exists, a link included.
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw Error("Cannot create file \"" + path + "\": " + SystemErrorText(GetLastError()));
  }
  return NewFile(reinterpret_cast<std::intptr_t>(file), path);
}

NewFile::NewFile(NewFile&& other) noexcept
    : native_(std::exchange(other.native_, kNone)), path_(std::move(other.path_)) {}

NewFile::~NewFile() {
  if (native_ != kNone) CloseHandle(Handle(native_));
}

void NewFile::Write(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(Handle(native_), bytes, want, &written, nullptr) || written == 0) {
      throw Error("Cannot write file \"" + path_ + "\": " + SystemErrorText(GetLastError()));
    }
    bytes += written;
    count -= written;
  }
}

void NewFile::Close() {
  const HANDLE file = Handle(std::exchange(native_, kNone));
  if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) {
    throw Error("Cannot write file \"" + path_ + "\": " + SystemErrorText(GetLastError()));
  }
}

void NewFile::Discard() {
  const HANDLE file = Handle(std::exchange(native_, kNone));
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  RemoveFile(path_);
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != 0; }

}  // namespace slidesaver
