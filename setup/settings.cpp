#include "setup/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "payload/inttext.h"
#include "payload/textcodec.h"
#include "platform/files.h"
#include "platform/error.h"
#include "platform/replacement_file.h"

namespace slidesaver {
namespace {

constexpr std::string_view kSettingsFileName = "CONTROL.INI";
constexpr std::string_view kBlanks = " \t\r\v\f";
// Longest part of a line that is kept for parsing; the rest of a longer line is
// skipped while reading and copied unchanged while writing.
constexpr std::size_t kMaxKeptLineBytes = 64 * 1024;
constexpr int kMaxSymlinkHops = 40;

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

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~FileDescriptor() { Close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close succeeded (it may report a
  // delayed write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens an existing regular file for reading without following it into a
// device or a pipe that could block. Sets `missing` when there is no file.
FileDescriptor OpenRegularFile(const std::string& path, bool& missing) {
  missing = false;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    missing = errno == ENOENT;
    return FileDescriptor();
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileDescriptor();
  return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
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
  explicit LineReader(int fd) : fd_(fd) {}

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
    while (true) {
      const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) failed_ = true;
      if (n == 0) eof_ = true;
      if (n <= 0) return false;
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
      return true;
    }
  }

  int fd_;
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

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A link is trusted when nobody else could have placed it or can swap it: it
// belongs to the user running the program, and its folder is writable by the
// owner only, or is sticky (others may not rename or remove what they do not
// own there).
bool IsTrustedLink(const std::string& path, const struct stat& link) {
  if (link.st_uid != ::geteuid()) return false;
  struct stat folder;
  if (::stat(ParentFolder(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) return false;
  return (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (folder.st_mode & S_ISVTX) != 0;
}

// Follows symbolic links to the file that is really written. The result may not
// exist yet. Nothing when the links loop, cannot be read or one of them is not
// trusted.
std::optional<std::string> ResolveLinks(std::string path) {
  for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) {
      if (errno == ENOENT) return path;
      return std::nullopt;
    }
    if (!S_ISLNK(info.st_mode)) return path;
    if (!IsTrustedLink(path, info)) return std::nullopt;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    if (target.front() != '/') {
      const std::string folder = ParentFolder(path);
      target = (folder == "/" ? folder : folder + "/") + target;
    }
    path = std::move(target);
  }
  return std::nullopt;
}

// Copies bytes of `from` from its current position: `count` of them, or all
// that are left when `count` is the maximum value.
bool CopyBytes(int from, int to, std::uint64_t count) {
  std::array<char, 64 * 1024> buffer;
  while (count > 0) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
    const ssize_t n = ::read(from, buffer.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return count == std::numeric_limits<std::uint64_t>::max();
    if (!WriteAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return false;
    if (count != std::numeric_limits<std::uint64_t>::max()) count -= static_cast<std::uint64_t>(n);
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

bool WriteEdited(int source, const Edit& edit, int destination) {
  if (source >= 0) {
    if (::lseek(source, 0, SEEK_SET) != 0 || !CopyBytes(source, destination, edit.cut)) {
      return false;
    }
  }
  if (!WriteAll(destination, edit.insert)) return false;
  if (source < 0) return true;
  return ::lseek(source, static_cast<off_t>(edit.resume), SEEK_SET) >= 0 &&
         CopyBytes(source, destination, std::numeric_limits<std::uint64_t>::max());
}

void SyncFolder(const std::string& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());  // best effort: the data itself is already synced
}

bool TryWriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!IsStorable(section, key, value)) return false;
  const std::optional<std::string> target = ResolveLinks(path);
  if (!target) return false;

  bool missing = false;
  FileDescriptor source = OpenRegularFile(*target, missing);
  if (!source.valid() && !missing) return false;

  KeyLocation location;
  mode_t mode = 0644;
  struct stat info;
  if (source.valid()) {
    LineReader reader(source.get());
    if (!FindKey(reader, section, key, location) || ::fstat(source.get(), &info) != 0) {
      return false;
    }
    mode = info.st_mode & 07777;
  }

  ReplacementFile temporary;
  if (!temporary.Create(*target, mode)) return false;
  if (source.valid()) {
    // The creation mode was masked by the umask; the owner is kept where allowed.
    if (::fchmod(temporary.Fd(), mode) != 0) return false;
    if (::fchown(temporary.Fd(), info.st_uid, info.st_gid) != 0) {
      // Not the owner: the new file belongs to the writer, as any new file would.
    }
  }
  const Edit edit = PlanEdit(location, section, key, value);
  if (!WriteEdited(source.get(), edit, temporary.Fd())) return false;
  if (!temporary.Commit(true)) return false;
  SyncFolder(ParentFolder(*target));
  return true;
}

}  // namespace

std::string SettingsFilePath(const std::string& executablePath) {
  return PathJoin(FolderPart(executablePath), kSettingsFileName);
}

std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key) {
  try {
    bool missing = false;
    const FileDescriptor fd = OpenRegularFile(path, missing);
    if (!fd.valid()) return std::nullopt;
    LineReader reader(fd.get());
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
