#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace slidesaver {

// The runtime's strict 32-bit conversion: optional leading spaces, an optional
// "+" or "-", then either decimal digits whose value fits a signed 32-bit
// integer, or a hexadecimal number of one to eight digits introduced by "$",
// "x", "X", "0x" or "0X" (a 32-bit pattern, on which the sign has no effect).
// Nothing may follow. Anything else gives no value.
std::optional<std::int32_t> StrToIntStrict(std::string_view text);

// The same, but hexadecimal only after "0x" or "0X" (the settings file's rule).
std::optional<std::int32_t> StrToIntDecimalOr0x(std::string_view text);

// Integer-text rule of the payload trailer fields: the text ends at its first
// zero byte, leading and trailing characters with codes 0x20 or less are
// removed, the rest is converted strictly; anything that is not an integer is 0.
std::int32_t TrailerFieldValue(std::string_view field);

// The rule for items of the offset and size lists: converted strictly, 0 when
// the item is not an integer.
std::int32_t ListItemValue(std::string_view item);

}  // namespace slidesaver
