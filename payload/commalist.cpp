#include "payload/commalist.h"

namespace slidesaver {
namespace {

bool IsBlank(char c) { return c >= 1 && c <= 32; }
bool IsSeparatorOrEnd(char c) { return static_cast<unsigned char>(c) <= 32 || c == ','; }

}  // namespace

std::vector<std::string> ParseCommaList(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> items;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skipBlanks();
  while (i < text.size()) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;  // closing quote
          break;
        }
        item += text[i++];
      }
    } else {
      const std::size_t start = i;
      while (i < text.size() && !IsSeparatorOrEnd(text[i])) ++i;
      item.assign(text.substr(start, i - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (i < text.size() && text[i] == ',') {
      if (i + 1 == text.size()) items.emplace_back();
      ++i;
      skipBlanks();
    }
  }
  return items;
}

std::string FormatCommaList(const std::vector<std::string>& items) {
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string text;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k > 0) text += ',';
    const std::string& item = items[k];
    bool quote = false;
    for (const char c : item) quote = quote || IsSeparatorOrEnd(c) || c == '"';
    if (!quote) {
      text += item;
      continue;
    }
    text += '"';
    for (const char c : item) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

}  // namespace slidesaver
