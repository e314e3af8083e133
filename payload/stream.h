#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "system/file_io.h"

namespace slidesaver {

// A read-only, seekable byte stream over a file or over memory. Every read
// that the stream cannot satisfy in full raises Error("Stream read error")
// before anything of the requested size is allocated.
class InputStream {
 public:
  // Opens a file for reading. Raises Error("Cannot open file \"<path>\": <reason>").
  static InputStream OpenFile(const std::string& path);
  // The memory must outlive the stream.
  explicit InputStream(std::span<const std::uint8_t> memory);
  explicit InputStream(std::vector<std::uint8_t>&&) = delete;

  // A second stream over the same open file (or memory), at its start, with a
  // position and read-ahead of its own: two threads may read the two at once.
  InputStream Another() const;

  InputStream(InputStream&& other) noexcept = default;
  InputStream& operator=(InputStream&& other) noexcept = default;
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  std::int64_t Size() const { return size_; }
  std::int64_t Position() const { return position_; }
  std::int64_t Remaining() const { return size_ - position_; }

  // Positions the stream at an absolute offset. A negative offset raises
  // Error("Invalid stream offset <n>"); an offset past the end is allowed,
  // the next read then fails.
  void Seek(std::int64_t offset);

  void ReadBuffer(void* target, std::size_t count);
  // Reads up to count bytes; returns how many arrived.
  std::size_t Read(void* target, std::size_t count);
  std::uint8_t ReadByte();
  std::int32_t ReadInt32();  // little-endian
  std::vector<std::uint8_t> ReadBytes(std::int64_t count);
  void Skip(std::int64_t count);

 private:
  explicit InputStream(ReadableFile file);
  void Fill(std::int64_t at, void* target, std::size_t count);

  std::shared_ptr<const ReadableFile> file_;
  std::span<const std::uint8_t> memory_;
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
  // Read-ahead buffer for files: the reader takes one byte at a time.
  std::vector<std::uint8_t> buffer_;
  std::int64_t bufferStart_ = 0;
};

}  // namespace slidesaver
