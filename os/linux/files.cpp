#include "system/files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "base/error.h"

namespace slidesaver {
namespace {

constexpr mode_t kGroupOtherWrite = S_IWGRP | S_IWOTH;
constexpr mode_t kGroupOtherAll = S_IRWXG | S_IRWXO;

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

// $XDG_RUNTIME_DIR is taken only when it is an absolute directory that this user owns and that
// group and others cannot write into.
bool IsUsableRuntimeDir(const std::string& path) {
  if (!IsAbsolute(path)) return false;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & kGroupOtherWrite) == 0;
}

std::string FallbackTempFolder() {
  std::string base = EnvironmentValue("TMPDIR");
  if (!IsAbsolute(base)) base = "/tmp";
  return PathJoin(base, "slidesaver-" + std::to_string(geteuid()));
}

// Creates the folder when missing, then checks without following links that it is a private
// directory of this user.
void MakePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw Error("Cannot create the folder " + folder + ": " + std::strerror(errno));
  }
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0) {
    throw Error("Cannot examine the folder " + folder + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & kGroupOtherAll) != 0) {
    throw Error("The folder " + folder +
                " is not a private directory of this user; remove it and start again");
  }
}

constexpr int kMaxSymlinkHops = 40;

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

}  // namespace

std::optional<std::string> ResolveTrustedLinks(const std::string& start) {
  std::string path = start;
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

std::string OwnExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      throw Error(std::string("Cannot find the program's own file: ") + std::strerror(errno));
    }
    if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string FileNamePart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  return std::string(path.substr(0, slash + 1));
}

std::string PathJoin(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!joined.empty() && joined.back() != '/') joined.push_back('/');
  joined += name;
  return joined;
}

std::string RuntimeFolder() {
  const std::string runtimeDir = EnvironmentValue("XDG_RUNTIME_DIR");
  const std::string folder = IsUsableRuntimeDir(runtimeDir) ? PathJoin(runtimeDir, "slidesaver")
                                                            : FallbackTempFolder();
  MakePrivateFolder(folder);
  return WithTrailingSlash(folder);
}

std::string StateFolder() {
  std::string base = EnvironmentValue("XDG_STATE_HOME");
  if (!IsAbsolute(base)) {
    std::string home = EnvironmentValue("HOME");
    if (!IsAbsolute(home)) {
      const passwd* user = getpwuid(geteuid());
      home = user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
    }
    if (!IsAbsolute(home)) throw Error("Cannot tell the state folder: HOME is not set");
    base = PathJoin(PathJoin(home, ".local"), "state");
  }
  const std::string folder = PathJoin(base, "slidesaver");
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw Error("Cannot create the folder " + folder + ": " + error.message());
  return WithTrailingSlash(folder);
}

}  // namespace slidesaver
