#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace slidesaver {

// A regular file opened for reading, with reads at any position. Closed with
// the object; a file replaced or deleted meanwhile still reads as it was.
class ReadableFile {
 public:
  // Raises Error("Cannot open file \"<path>\": <reason>"), also for anything
  // that is not a regular file.
  static ReadableFile Open(const std::string& path);
  // Nothing when the file cannot be opened or is not a regular file (a device
  // or a pipe is never waited on); `missing` tells that there is no such file.
  static std::optional<ReadableFile> TryOpen(const std::string& path, bool& missing);

  ReadableFile(ReadableFile&& other) noexcept;
  ReadableFile& operator=(ReadableFile&& other) noexcept;
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;
  ~ReadableFile();

  std::int64_t Size() const { return size_; }
  // Reads up to `count` bytes at `offset`: how many arrived, 0 at the end;
  // nothing on a read error.
  std::optional<std::size_t> ReadAt(std::int64_t offset, void* target, std::size_t count) const;
  // The system's handle, for the implementations that need it.
  std::intptr_t Native() const { return native_; }

 private:
  ReadableFile(std::intptr_t native, std::int64_t size) : native_(native), size_(size) {}
  void Close();
  std::intptr_t native_;
  std::int64_t size_;
};

// The whole file's bytes; nothing when a read fails or the file changes size meanwhile.
inline std::optional<std::vector<std::uint8_t>> ReadAll(const ReadableFile& file) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
  for (std::size_t done = 0; done < bytes.size();) {
    const auto n = file.ReadAt(static_cast<std::int64_t>(done), bytes.data() + done, bytes.size() - done);
    if (!n || *n == 0) return std::nullopt;
    done += *n;
  }
  return bytes;
}

// The whole file's bytes. Raises Error("\"<path>\": cannot be read") when it cannot be opened,
// is not a regular file or a read fails.
inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  bool missing = false;
  const auto file = ReadableFile::TryOpen(path, missing);
  auto bytes = file ? ReadAll(*file) : std::nullopt;
  if (!bytes) throw Error("\"" + path + "\": cannot be read");
  return std::move(*bytes);
}

// A file made new for writing, readable and writable by its owner only.
// Nothing of that name may exist yet: no file, link or pipe is ever opened,
// followed or replaced.
class NewFile {
 public:
  // Raises Error("Cannot create file \"<path>\": <reason>").
  static NewFile Create(const std::string& path);
  NewFile(NewFile&& other) noexcept;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile();

  // Raise Error("Cannot write file \"<path>\": <reason>").
  void Write(const void* data, std::size_t count);
  void Close();
  // Gives the file up: closes it, whatever that reports, and removes it.
  void Discard();

 private:
  NewFile(std::intptr_t native, std::string path) : native_(native), path_(std::move(path)) {}
  std::intptr_t native_;
  std::string path_;
};

// Removes a file (a link itself, never what it points to); false when it could not.
bool RemoveFile(const std::string& path);

}  // namespace slidesaver
