#include "payload/stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/error.h"

namespace slidesaver {
namespace {

constexpr std::size_t kReadAhead = 64 * 1024;

[[noreturn]] void ReadError() { throw Error("Stream read error"); }

}  // namespace

InputStream InputStream::OpenFile(const std::string& path) {
  return InputStream(ReadableFile::Open(path));
}

InputStream::InputStream(ReadableFile file)
    : file_(std::make_shared<const ReadableFile>(std::move(file))), size_(file_->Size()) {}

InputStream InputStream::Another() const {
  InputStream other(memory_);
  other.file_ = file_;
  other.size_ = size_;
  return other;
}

InputStream::InputStream(std::span<const std::uint8_t> memory)
    : memory_(memory), size_(static_cast<std::int64_t>(memory.size())) {}

void InputStream::Seek(std::int64_t offset) {
  if (offset < 0) throw Error("Invalid stream offset " + std::to_string(offset));
  position_ = offset;
}

void InputStream::Fill(std::int64_t at, void* target, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(target);
  if (!file_) {
    std::memcpy(out, memory_.data() + at, count);
    return;
  }
  while (count > 0) {
    const std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(buffer_.size());
    if (at >= bufferStart_ && at < bufferEnd) {
      const auto n = std::min<std::size_t>(count, static_cast<std::size_t>(bufferEnd - at));
      std::memcpy(out, buffer_.data() + (at - bufferStart_), n);
      out += n;
      at += static_cast<std::int64_t>(n);
      count -= n;
      continue;
    }
    if (count >= kReadAhead) {  // large blocks go straight to the caller
      const std::optional<std::size_t> got = file_->ReadAt(at, out, count);
      if (!got || *got == 0) ReadError();
      out += *got;
      at += static_cast<std::int64_t>(*got);
      count -= *got;
      continue;
    }
    buffer_.resize(kReadAhead);
    const std::optional<std::size_t> got = file_->ReadAt(at, buffer_.data(), kReadAhead);
    if (!got || *got == 0) {
      buffer_.clear();
      ReadError();
    }
    buffer_.resize(*got);
    bufferStart_ = at;
  }
}

std::size_t InputStream::Read(void* target, std::size_t count) {
  const std::int64_t available = std::max<std::int64_t>(0, Remaining());
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(available, static_cast<std::int64_t>(count)));
  if (n > 0) Fill(position_, target, n);
  position_ += static_cast<std::int64_t>(n);
  return n;
}

void InputStream::ReadBuffer(void* target, std::size_t count) {
  if (count == 0) return;
  if (Remaining() < 0 || static_cast<std::uint64_t>(Remaining()) < count) ReadError();
  Fill(position_, target, count);
  position_ += static_cast<std::int64_t>(count);
}

std::uint8_t InputStream::ReadByte() {
  std::uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

std::int32_t InputStream::ReadInt32() {
  std::uint8_t b[4];
  ReadBuffer(b, 4);
  return static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                   (static_cast<std::uint32_t>(b[3]) << 24));
}

std::vector<std::uint8_t> InputStream::ReadBytes(std::int64_t count) {
  if (count < 0 || count > Remaining()) ReadError();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  ReadBuffer(bytes.data(), bytes.size());
  return bytes;
}

void InputStream::Skip(std::int64_t count) {
  if (count < 0 || count > Remaining()) ReadError();
  position_ += count;
}

}  // namespace slidesaver
