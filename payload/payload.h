#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "payload/config.h"
#include "payload/graphics.h"
#include "payload/persistent.h"
#include "payload/stream.h"

namespace slidesaver {

// The payload trailer: the last 40 bytes of the file, two 20-byte text fields
// (payload size, configuration offset) read by the integer-text rule.
constexpr int kTrailerSize = 40;
constexpr int kTrailerFieldSize = 20;

// Reads trailer field 1 (at size - 40) or 2 (at size - 20); nothing when
// fewer than 20 bytes can be read there.
std::optional<std::int32_t> ReadTrailerField(InputStream& file, int field);

struct PayloadTrailer {
  std::int32_t payloadSize = 0;
  std::int32_t configOffset = 0;
};
// Both fields in one pass; nothing when the file is shorter than 40 bytes.
std::optional<PayloadTrailer> ReadTrailer(InputStream& file);
// File size - 40 - payload size.
std::int64_t PayloadStart(const InputStream& file, std::int32_t payloadSize);

// Reads the component stream at an absolute offset, creating the root through
// the class registry, or filling an existing root.
std::unique_ptr<TComponent> ReadComponentAt(InputStream& file, std::int64_t offset);
void ReadComponentAt(InputStream& file, std::int64_t offset, TComponent& root);

// As ReadComponentAt, for a root that must be of class T ("Invalid class
// typecast" otherwise).
template <typename T>
std::unique_ptr<T> ReadComponentAs(InputStream& file, std::int64_t offset);
extern template std::unique_ptr<TImage> ReadComponentAs<TImage>(InputStream&, std::int64_t);
extern template std::unique_ptr<TSSFileLocations> ReadComponentAs<TSSFileLocations>(InputStream&,
                                                                                    std::int64_t);

// Copies size bytes at an absolute offset to a new file, mode 0600. Nothing of
// that name may exist yet (no file, link or pipe is ever opened or replaced).
// The range is checked before the file is created; a partly written file is
// removed.
void CopyBlock(InputStream& file, std::int64_t offset, std::int64_t size, const std::string& target);

// A name that can be used as a file name inside a folder: not empty, not "."
// or "..", no path separator, no control character.
bool IsPlainFileName(std::string_view name);

}  // namespace slidesaver
