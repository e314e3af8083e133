// Fuzzes the settings file: any file content, one key read, one key written.
// The written key must read back, an unrelated key must keep its value, and
// every other line must survive byte for byte.

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "setup/settings.h"

namespace {

using slidesaver::ReadProfileString;
using slidesaver::WriteProfileString;

constexpr std::string_view kSections[] = {"Setup", "setup", " SETUP ", "s", "Other"};
constexpr std::string_view kKeys[] = {"mute", "MUTE", " Mute ", "k", "a b"};
// Values that read back as written (no surrounding blanks or quotes).
constexpr std::string_view kValues[] = {"1", "0", "0x1", "hello world", "", "a=b", "[z]", "'q"};

template <typename T, std::size_t N>
std::string_view Pick(const T (&pool)[N], std::uint8_t selector) {
  return pool[selector % N];
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\v\f";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct Folder {
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ini_fuzz.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    path = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

const Folder& WorkFolder() {
  static const Folder folder;
  return folder;
}

struct Line {
  std::string_view content;
  std::string_view end;  // "", "\n" or "\r\n"
  std::string_view whole;
};

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    const std::size_t length = newline == std::string_view::npos ? bytes.size() : newline + 1;
    Line line;
    line.whole = bytes.substr(0, length);
    line.content = line.whole;
    if (newline != std::string_view::npos) {
      const std::size_t endLength = length >= 2 && bytes[length - 2] == '\r' ? 2 : 1;
      line.content.remove_suffix(endLength);
      line.end = line.whole.substr(line.whole.size() - endLength);
    }
    lines.push_back(line);
    bytes.remove_prefix(length);
  }
  return lines;
}

bool IsKeyLineFor(std::string_view content, std::string_view key) {
  const std::string_view trimmed = Trim(content);
  if (!trimmed.empty() && trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos) {
    return false;
  }
  const std::size_t equals = trimmed.find('=');
  return equals != std::string_view::npos && SameName(trimmed.substr(0, equals), key);
}

// Walks both files: every input line must reappear in order, except one key
// line of `key` that was replaced; added lines must be the key line or the
// section header, at most two of them, ending in the file's line-end style.
bool OnlyTheKeyChanged(std::string_view before, std::string_view after, std::string_view section,
                       std::string_view key, std::string_view value) {
  const std::vector<Line> in = SplitLines(before);
  const std::vector<Line> out = SplitLines(after);
  const std::string keyLine = std::string(Trim(key)) + "=" + std::string(value);
  const std::string header = "[" + std::string(Trim(section)) + "]";
  std::string_view style = "\n";
  for (const Line& line : in) {
    if (!line.end.empty()) {
      style = line.end;
      break;
    }
  }
  bool replaced = false;
  int added = 0;
  std::size_t i = 0;
  for (std::size_t j = 0; j < out.size(); ++j) {
    if (i < in.size() && in[i].whole == out[j].whole) {
      ++i;
      continue;
    }
    if (i + 1 == in.size() && in[i].end.empty() &&
        std::string(in[i].whole) + std::string(style) == out[j].whole) {
      ++i;  // the last line gained its line end
      continue;
    }
    if (out[j].content != keyLine && out[j].content != header) return false;
    if (!replaced && i < in.size() && out[j].content == keyLine &&
        IsKeyLineFor(in[i].content, key) && in[i].end == out[j].end) {
      replaced = true;
      ++i;
      continue;
    }
    if (out[j].end != style || ++added > 2) return false;
  }
  return i == in.size();
}

bool FolderHoldsOnly(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool only = true;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view found = entry->d_name;
    if (found != "." && found != ".." && found != name) only = false;
  }
  ::closedir(dir);
  return only;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::string_view writeSection = Pick(kSections, data[0]);
  const std::string_view writeKey = Pick(kKeys, data[1]);
  const std::string_view value = Pick(kValues, data[2]);
  const std::string_view readSection = Pick(kSections, data[3]);
  const std::string_view readKey = Pick(kKeys, data[4]);
  const std::string before(reinterpret_cast<const char*>(data) + 5, size - 5);

  const std::string& folder = WorkFolder().path;
  const std::string path = folder + "/CONTROL.INI";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << before;
    if (!out.good()) __builtin_trap();
  }

  const std::optional<std::string> otherBefore = ReadProfileString(path, readSection, readKey);
  try {
    WriteProfileString(path, writeSection, writeKey, value);
  } catch (const slidesaver::Error&) {
    __builtin_trap();
  }
  if (ReadProfileString(path, writeSection, writeKey) != std::string(value)) __builtin_trap();
  const bool sameKey = SameName(readSection, writeSection) && SameName(readKey, writeKey);
  if (!sameKey && ReadProfileString(path, readSection, readKey) != otherBefore) __builtin_trap();

  std::ifstream in(path, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!OnlyTheKeyChanged(before, after, writeSection, writeKey, value)) __builtin_trap();
  if (!FolderHoldsOnly(folder, "CONTROL.INI")) __builtin_trap();
  return 0;
}
