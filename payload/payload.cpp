#include "payload/payload.h"

#include <algorithm>
#include <utility>

#include "base/error.h"
#include "payload/inttext.h"
#include "payload/reader.h"
#include "system/file_io.h"

namespace slidesaver {

std::optional<std::int32_t> ReadTrailerField(InputStream& file, int field) {
  const std::int64_t at = file.Size() - kTrailerSize + (field - 1) * kTrailerFieldSize;
  if (at < 0) return std::nullopt;
  file.Seek(at);
  char text[kTrailerFieldSize];
  if (file.Read(text, kTrailerFieldSize) < kTrailerFieldSize) return std::nullopt;
  return TrailerFieldValue(std::string_view(text, kTrailerFieldSize));
}

std::optional<PayloadTrailer> ReadTrailer(InputStream& file) {
  const auto size = ReadTrailerField(file, 1);
  const auto config = size ? ReadTrailerField(file, 2) : std::nullopt;
  if (!config) return std::nullopt;
  return PayloadTrailer{*size, *config};
}

std::int64_t PayloadStart(const InputStream& file, std::int32_t payloadSize) {
  return file.Size() - kTrailerSize - payloadSize;
}

std::unique_ptr<TComponent> ReadComponentAt(InputStream& file, std::int64_t offset) {
  file.Seek(offset);
  return ComponentReader(file).ReadComponent();
}

void ReadComponentAt(InputStream& file, std::int64_t offset, TComponent& root) {
  file.Seek(offset);
  ComponentReader(file).ReadRootInto(root);
}

template <typename T>
std::unique_ptr<T> ReadComponentAs(InputStream& file, std::int64_t offset) {
  std::unique_ptr<TComponent> component = ReadComponentAt(file, offset);
  if (dynamic_cast<T*>(component.get()) == nullptr) throw Error("Invalid class typecast");
  return std::unique_ptr<T>(static_cast<T*>(component.release()));
}
template std::unique_ptr<TImage> ReadComponentAs<TImage>(InputStream&, std::int64_t);
template std::unique_ptr<TSSFileLocations> ReadComponentAs<TSSFileLocations>(InputStream&, std::int64_t);

void CopyBlock(InputStream& file, std::int64_t offset, std::int64_t size, const std::string& target) {
  if (size < 0) throw Error("Invalid block size " + std::to_string(size));
  file.Seek(offset);
  if (size > file.Remaining()) throw Error("Stream read error");
  NewFile out = NewFile::Create(target);
  try {
    std::vector<std::uint8_t> chunk;
    for (std::int64_t left = size; left > 0;) {
      const std::int64_t n = std::min<std::int64_t>(left, 1 << 20);
      chunk.resize(static_cast<std::size_t>(n));
      file.ReadBuffer(chunk.data(), chunk.size());
      out.Write(chunk.data(), chunk.size());
      left -= n;
    }
    out.Close();
  } catch (...) {
    out.Discard();
    throw;
  }
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

}  // namespace slidesaver
