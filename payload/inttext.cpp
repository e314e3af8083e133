#include "payload/inttext.h"

namespace slidesaver {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::int32_t> Convert(std::string_view s, bool allowAllHexMarks) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  std::size_t hexStart = std::string_view::npos;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hexStart = i + 2;
  } else if (allowAllHexMarks && i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hexStart = i + 1;
  }
  if (hexStart != std::string_view::npos) {
    const std::size_t digits = s.size() - hexStart;
    if (digits == 0 || digits > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t k = hexStart; k < s.size(); ++k) {
      const int d = HexDigit(s[k]);
      if (d < 0) return std::nullopt;
      value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(value);
  }
  if (i == s.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    value = value * 10 + (s[i] - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::optional<std::int32_t> StrToIntStrict(std::string_view text) { return Convert(text, true); }

std::optional<std::int32_t> StrToIntDecimalOr0x(std::string_view text) {
  return Convert(text, false);
}

std::int32_t TrailerFieldValue(std::string_view field) {
  const std::size_t zero = field.find('\0');
  if (zero != std::string_view::npos) field = field.substr(0, zero);
  while (!field.empty() && static_cast<unsigned char>(field.front()) <= 0x20) field.remove_prefix(1);
  while (!field.empty() && static_cast<unsigned char>(field.back()) <= 0x20) field.remove_suffix(1);
  return StrToIntStrict(field).value_or(0);
}

std::int32_t ListItemValue(std::string_view item) { return StrToIntStrict(item).value_or(0); }

}  // namespace slidesaver
