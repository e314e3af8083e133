#include "setup/settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/error.h"
#include "payload/inttext.h"
#include "payload/textcodec.h"
#include "system/file_io.h"
#include "system/files.h"
#include "system/replacement_file.h"

namespace slidesaver {
namespace {

constexpr std::string_view kSettingsFileName = "CONTROL.INI";
constexpr std::string_view kBlanks = " \t\r\v\f";
// Longest part of a line that is kept for parsing; the rest of a longer line is
// skipped while reading and copied unchanged while writing.
constexpr std::size_t kMaxKeptLineBytes = 64 * 1024;

// ---------------------------------------------------------------------------
// Small helpers

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// ---------------------------------------------------------------------------
// Line reading

struct Line {
  std::uint64_t start = 0;          // offset of the first byte
  std::uint64_t contentLength = 0;  // bytes before the line end
  int endLength = 0;                // 0 (last line without end), 1 (LF) or 2 (CRLF)
  std::string text;                 // the content, at most kMaxKeptLineBytes of it
};

// Splits a file into lines at LF, holding one buffer and one capped line.
class LineReader {
 public:
  explicit LineReader(const ReadableFile& file) : file_(file) {}

  // Fills `line` with the next line; false at the end of the file or on a read
  // error (see failed()).
  bool Next(Line& line) {
    line.start = offset_;
    line.contentLength = 0;
    line.endLength = 0;
    line.text.clear();
    char lastByte = 0;
    while (true) {
      if (pos_ == end_ && !Refill()) break;
      const char* begin = buffer_.data() + pos_;
      const std::size_t available = end_ - pos_;
      const void* newline = std::memchr(begin, '\n', available);
      const std::size_t take =
          newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - begin) : available;
      Append(line, begin, take);
      if (take > 0) lastByte = begin[take - 1];
      pos_ += take;
      offset_ += take;
      if (newline) {
        ++pos_;
        ++offset_;
        line.endLength = 1;
        if (lastByte == '\r') {
          line.endLength = 2;
          --line.contentLength;
          if (line.text.size() > line.contentLength) line.text.resize(line.contentLength);
        }
        return true;
      }
    }
    return !failed_ && line.contentLength > 0;
  }

  bool failed() const { return failed_; }

 private:
  static void Append(Line& line, const char* bytes, std::size_t count) {
    line.contentLength += count;
    const std::size_t room = kMaxKeptLineBytes - std::min(kMaxKeptLineBytes, line.text.size());
    line.text.append(bytes, std::min(room, count));
  }

  bool Refill() {
    if (eof_ || failed_) return false;
    const std::optional<std::size_t> n =
        file_.ReadAt(static_cast<std::int64_t>(offset_), buffer_.data(), buffer_.size());
    if (!n) failed_ = true;
    if (n && *n == 0) eof_ = true;
    if (!n || *n == 0) return false;
    pos_ = 0;
    end_ = *n;
    return true;
  }

  const ReadableFile& file_;
  std::array<char, 64 * 1024> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t offset_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// ---------------------------------------------------------------------------
// Line meaning

enum class LineKind { kBlank, kSection, kKey, kOther };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed and unquoted
};

ParsedLine ParseLine(std::string_view text) {
  ParsedLine parsed;
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty()) {
    parsed.kind = LineKind::kBlank;
    return parsed;
  }
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      parsed.kind = LineKind::kSection;
      parsed.name = Trim(trimmed.substr(1, close - 1));
      return parsed;
    }
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return parsed;
  parsed.kind = LineKind::kKey;
  parsed.name = Trim(trimmed.substr(0, equals));
  parsed.value = Unquote(Trim(trimmed.substr(equals + 1)));
  return parsed;
}

// ---------------------------------------------------------------------------
// Finding a key

// Where `key` of `section` is, or where it would go. Offsets are in bytes.
struct KeyLocation {
  bool sectionFound = false;
  bool keyFound = false;
  std::string value;                // when keyFound
  std::uint64_t keyStart = 0;       // when keyFound: the key line's first byte
  std::uint64_t keyEnd = 0;         // when keyFound: where the key line's line end starts
  std::uint64_t insertAt = 0;       // when sectionFound: after its last non-blank line
  bool insertNeedsLineEnd = false;  // that line is the last one and has no line end
  std::uint64_t fileEnd = 0;        // when the section is missing: the file's size
  bool fileEndsWithLineEnd = true;  // when the section is missing
  bool usesCrlf = false;            // the first line end seen is CRLF
};

// Scans lines until the answer is known: the key is found, the first matching
// section ends, or the file ends. False on a read error.
bool FindKey(LineReader& reader, std::string_view section, std::string_view key,
             KeyLocation& location) {
  bool inSection = false;
  bool lineEndSeen = false;
  Line line;
  while (reader.Next(line)) {
    if (!lineEndSeen && line.endLength > 0) {
      lineEndSeen = true;
      location.usesCrlf = line.endLength == 2;
    }
    location.fileEnd = line.start + line.contentLength + line.endLength;
    location.fileEndsWithLineEnd = line.endLength > 0;
    const ParsedLine parsed = ParseLine(line.text);
    if (inSection) {
      if (parsed.kind == LineKind::kSection) return true;
      if (parsed.kind == LineKind::kKey && SameText(parsed.name, key)) {
        location.keyFound = true;
        location.value = parsed.value;
        location.keyStart = line.start;
        location.keyEnd = line.start + line.contentLength;
        return true;
      }
    } else if (parsed.kind == LineKind::kSection && SameText(parsed.name, section)) {
      inSection = true;
      location.sectionFound = true;
    } else {
      continue;
    }
    if (parsed.kind != LineKind::kBlank) {
      location.insertAt = line.start + line.contentLength + line.endLength;
      location.insertNeedsLineEnd = line.endLength == 0;
    }
  }
  return !reader.failed();
}

// ---------------------------------------------------------------------------
// Writing

bool IsStorable(std::string_view section, std::string_view key, std::string_view value) {
  if (section.empty() || section.find_first_of("\r\n]") != std::string_view::npos) return false;
  if (key.empty() || key.front() == '[' || key.find_first_of("\r\n=") != std::string_view::npos) {
    return false;
  }
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  // Longer lines would not read back whole.
  return section.size() + 2 <= kMaxKeptLineBytes &&
         key.size() + 1 + value.size() <= kMaxKeptLineBytes;
}

// Copies the bytes of `from` from `begin` up to `end`, or to its end when `end`
// is the largest value.
bool CopyRange(const ReadableFile& from, std::uint64_t begin, std::uint64_t end,
               ReplacementFile& to) {
  std::array<char, 64 * 1024> buffer;
  while (begin < end) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, buffer.size()));
    const std::optional<std::size_t> n =
        from.ReadAt(static_cast<std::int64_t>(begin), buffer.data(), want);
    if (!n) return false;
    if (*n == 0) return end == std::numeric_limits<std::uint64_t>::max();
    if (!to.Write(std::string_view(buffer.data(), *n))) return false;
    begin += *n;
  }
  return true;
}

// The edit to apply: bytes [0, cut) are kept, `insert` follows, then the bytes
// from `resume` to the end of the file.
struct Edit {
  std::uint64_t cut = 0;
  std::string insert;
  std::uint64_t resume = 0;
};

Edit PlanEdit(const KeyLocation& location, std::string_view section, std::string_view key,
              std::string_view value) {
  const std::string_view lineEnd = location.usesCrlf ? "\r\n" : "\n";
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  Edit edit;
  if (location.keyFound) {
    edit.cut = location.keyStart;
    edit.insert = keyLine;
    edit.resume = location.keyEnd;
  } else if (location.sectionFound) {
    edit.cut = edit.resume = location.insertAt;
    if (location.insertNeedsLineEnd) edit.insert = lineEnd;
    edit.insert += keyLine;
    edit.insert += lineEnd;
  } else {
    edit.cut = edit.resume = location.fileEnd;
    if (!location.fileEndsWithLineEnd) edit.insert = lineEnd;
    edit.insert += "[" + std::string(section) + "]";
    edit.insert += lineEnd;
    edit.insert += keyLine;
    edit.insert += lineEnd;
  }
  return edit;
}

bool WriteEdited(const std::optional<ReadableFile>& source, const Edit& edit,
                 ReplacementFile& destination) {
  if (source && !CopyRange(*source, 0, edit.cut, destination)) return false;
  if (!destination.Write(edit.insert)) return false;
  return !source ||
         CopyRange(*source, edit.resume, std::numeric_limits<std::uint64_t>::max(), destination);
}

bool TryWriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!IsStorable(section, key, value)) return false;
  const std::optional<std::string> target = ResolveTrustedLinks(path);
  if (!target) return false;

  bool missing = false;
  std::optional<ReadableFile> source = ReadableFile::TryOpen(*target, missing);
  if (!source && !missing) return false;

  KeyLocation location;
  if (source) {
    LineReader reader(*source);
    if (!FindKey(reader, section, key, location)) return false;
  }

  ReplacementFile temporary;
  if (!temporary.Create(*target, 0644)) return false;
  // The new file keeps the old one's permissions, and its owner where allowed.
  if (source && !temporary.KeepAttributesOf(*source)) return false;
  const Edit edit = PlanEdit(location, section, key, value);
  if (!WriteEdited(source, edit, temporary)) return false;
  source.reset();  // not every system replaces a file that is still open
  return temporary.Commit(true);
}

}  // namespace

std::string SettingsFilePath(const std::string& executablePath) {
  return PathJoin(FolderPart(executablePath), kSettingsFileName);
}

std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key) {
  try {
    bool missing = false;
    const std::optional<ReadableFile> file = ReadableFile::TryOpen(path, missing);
    if (!file) return std::nullopt;
    LineReader reader(*file);
    KeyLocation location;
    if (!FindKey(reader, Trim(section), Trim(key), location) || !location.keyFound) {
      return std::nullopt;
    }
    return std::move(location.value);
  } catch (const std::exception&) {
    return std::nullopt;  // out of memory: treated like an unreadable file
  }
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue) {
  const std::optional<std::string> text = ReadProfileString(path, section, key);
  if (!text) return defaultValue;
  return StrToIntDecimalOr0x(*text).value_or(defaultValue);
}

void WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  if (!TryWriteProfileString(path, section, key, value)) {
    throw Error("Unable to write to " + path);
  }
}

bool ReadMuteSetting(const std::string& iniPath, bool defaultValue) {
  return ReadProfileInt(iniPath, "Setup", "mute", defaultValue ? 1 : 0) != 0;
}

void WriteMuteSetting(const std::string& iniPath, bool muted) {
  WriteProfileString(iniPath, "Setup", "mute", muted ? "1" : "0");
}

}  // namespace slidesaver
