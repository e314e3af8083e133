#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace slidesaver {

// A UTF-8 path as the standard library's path, and back. On Windows the library reads and
// writes its narrow strings in the ANSI code page, which cannot hold every name.
inline std::filesystem::path PathOfUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8OfPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The full path of the running executable, read from /proc/self/exe. Raises Error when the
// system does not report it.
std::string OwnExecutablePath();

// The part after the last "/": name and extension. The whole path when it has no "/".
std::string FileNamePart(std::string_view path);

// The part up to and including the last "/". Empty when the path has no "/".
std::string FolderPart(std::string_view path);

// The folder followed by the name, with one "/" inserted between them unless the folder already
// ends with one; an empty folder gives the name alone. The name is used as given: callers that
// take names from outside must make sure they are plain file names.
std::string PathJoin(std::string_view folder, std::string_view name);

// Follows symbolic links from `path` to the file that is really meant; the
// result may not exist yet. Nothing when the links loop, cannot be read or one
// of them is not trusted: a link is trusted when nobody else could have placed
// it or can swap it, that is when it belongs to the user running the program
// and its folder is writable by the owner only or is sticky.
std::optional<std::string> ResolveTrustedLinks(const std::string& path);

// The per-user private folder for the program's run-time files (instance
// locks, run folders), ending with "/": "$XDG_RUNTIME_DIR/slidesaver" when
// $XDG_RUNTIME_DIR names an absolute directory owned by this user and not
// writable by group or others; otherwise "<$TMPDIR or /tmp>/slidesaver-<uid>".
// Created with mode 0700 when missing. Raises Error when it cannot be created
// or is not a real directory owned by this user with no permissions for group
// or others.
std::string RuntimeFolder();

// The per-user folder for what the program keeps between runs, ending with the separator:
// "$XDG_STATE_HOME/slidesaver/" ($XDG_STATE_HOME when absolute, else ~/.local/state) on Linux,
// "%LOCALAPPDATA%\Slidesaver\" on Windows. Created when missing, its parents too. Raises
// Error when it cannot be told or created.
std::string StateFolder();

}  // namespace slidesaver
