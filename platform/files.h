#pragma once

#include <string>
#include <string_view>

namespace slidesaver {

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

// The per-user private folder for temporary files, ending with "/". It is $XDG_RUNTIME_DIR when
// that names an absolute directory owned by this user and not writable by group or others;
// otherwise "<$TMPDIR or /tmp>/slidesaver-<uid>", created with mode 0700 when missing. Raises Error
// when that folder cannot be created or is not a real directory owned by this user with no
// permissions for group or others.
std::string TempFolder();

// The per-user folder for run-time files such as the instance lock: the same as TempFolder().
std::string RuntimeFolder();

}  // namespace slidesaver
