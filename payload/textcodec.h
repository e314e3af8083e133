#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace slidesaver {

// Texts stored byte for byte (short and long strings) are Windows-1252; the
// program keeps every text as UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-16LE code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);

// Returns the text unchanged when it is valid UTF-8, otherwise with every
// invalid sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);

bool IsAscii(std::string_view text);

// ASCII-only case folding, as the stream format compares names.
bool SameText(std::string_view a, std::string_view b);

}  // namespace slidesaver
