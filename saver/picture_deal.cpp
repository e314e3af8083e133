#include "saver/picture_deal.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/random.h"

namespace slidesaver {
namespace {

constexpr const char* kHeader = "slidesaver picture deal 1";

// The words of a text, split at blanks and line ends.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  for (std::size_t i = 0; i < text.size();) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\n' && text[i] != '\r') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// A whole number of at most 9 digits, nothing else.
std::optional<int> Number(std::string_view word) {
  if (word.empty() || word.size() > 9) return std::nullopt;
  int value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The order and position a saved text holds, when it is a whole deal of `count` pictures.
// (Parsed by hand: the player links the C++ library statically on Windows, and its streams
// would make every saver much larger.)
bool Parse(std::string_view text, int count, std::vector<std::int32_t>& order,
           std::size_t& position) {
  const std::string_view header(kHeader);
  if (!text.starts_with(header) || text.substr(header.size()).find_first_not_of("\r\n") == 0) {
    return false;
  }
  const std::vector<std::string_view> words = Words(text.substr(header.size()));
  if (words.size() != 5 + std::size_t(count) || words[0] != "count" || words[2] != "position" ||
      words[4] != "order" || Number(words[1]) != count) {
    return false;
  }
  const std::optional<int> at = Number(words[3]);
  if (!at || *at > count) return false;
  std::vector<bool> seen(static_cast<std::size_t>(count), false);
  for (std::size_t i = 5; i < words.size(); ++i) {
    const std::optional<int> picture = Number(words[i]);
    if (!picture || *picture >= count || seen[std::size_t(*picture)]) return false;
    seen[std::size_t(*picture)] = true;
    order.push_back(*picture);
  }
  position = static_cast<std::size_t>(*at);
  return true;
}

}  // namespace

PictureDeal::PictureDeal(int count, const std::optional<std::string>& saved) {
  if (count <= 0) return;
  if (saved && Parse(*saved, count, order_, position_)) {
    if (position_ == order_.size()) Shuffle(order_.back());
    return;
  }
  order_.clear();
  order_.resize(static_cast<std::size_t>(count));
  Shuffle(-1);
}

void PictureDeal::Shuffle(std::int32_t last) {
  const auto count = static_cast<std::int32_t>(order_.size());
  for (std::int32_t i = 0; i < count; ++i) order_[std::size_t(i)] = i;
  // Fisher-Yates, from the shared generator.
  for (std::int32_t i = count - 1; i > 0; --i) {
    std::swap(order_[std::size_t(i)], order_[std::size_t(Random(i + 1))]);
  }
  if (count > 1 && order_.front() == last) {
    std::swap(order_.front(), order_[std::size_t(1 + Random(count - 1))]);
  }
  position_ = 0;
}

std::int32_t PictureDeal::Peek(const std::function<bool(std::int32_t)>& allowed) const {
  if (order_.empty()) return 0;
  if (allowed) {
    for (std::size_t i = position_; i < order_.size(); ++i) {
      if (allowed(order_[i])) return order_[i];
    }
  }
  return order_[position_];
}

bool PictureDeal::Take(std::int32_t picture) {
  const auto found = std::find(order_.begin() + static_cast<std::ptrdiff_t>(position_), order_.end(), picture);
  if (found == order_.end()) return false;
  std::iter_swap(order_.begin() + static_cast<std::ptrdiff_t>(position_), found);
  if (++position_ == order_.size()) Shuffle(picture);
  return true;
}

std::string PictureDeal::Saved() const {
  std::string text = std::string(kHeader) + "\ncount " + std::to_string(order_.size()) +
                     "\nposition " + std::to_string(position_) + "\norder";
  for (const std::int32_t picture : order_) text += " " + std::to_string(picture);
  return text + "\n";
}

std::string DealFileName(const std::vector<std::uint8_t>& configurationRecord) {
  // 64-bit FNV-1a: stable everywhere, and plenty to tell one user's savers apart.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const std::uint8_t byte : configurationRecord) {
    hash = (hash ^ byte) * 0x100000001b3ULL;
  }
  char name[40];
  std::snprintf(name, sizeof name, "deal-%016llx.txt", static_cast<unsigned long long>(hash));
  return name;
}

}  // namespace slidesaver
