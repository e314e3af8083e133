#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace slidesaver {

// A running program's own folder for files it makes while it runs (the
// extracted sounds): "run-<pid>-XXXXXX" inside the per-user RuntimeFolder(),
// made fresh with mode 0700, locked while the program runs, and removed whole
// when the object dies, also when the process has to end in a hurry. Two
// programs never share one, so neither can remove or replace the other's files.
class RunFolder {
 public:
  // Makes a new run folder in `base` (RuntimeFolder() when empty). Raises Error.
  static std::unique_ptr<RunFolder> Create(const std::string& base = {});
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;

  // The folder, ending with "/".
  const std::string& Path() const { return path_; }
  // The path of a plain file name inside the folder.
  std::string PathOf(std::string_view name) const;
  // Removes a file of that name made earlier; nothing when there is none.
  void RemoveFile(std::string_view name) const;
  // Bytes an unprivileged writer may still add on the folder's file system.
  std::int64_t FreeBytes() const;

 private:
  RunFolder(std::string path, std::intptr_t lock);
  std::string path_;
  std::intptr_t lock_;  // the system's handle that marks the folder as in use
  int cleanupId_;
};

// Run folders are named "run-<pid>-<something unique>".
inline constexpr std::string_view kRunFolderPrefix = "run-";
// The process number in a run folder's name; 0 when the name is no run folder's.
std::uint32_t RunFolderOwner(std::string_view name);

// Removes the run folders in `base` that programs left behind when they ended
// without cleaning up (killed, crashed): their lock is free and no process of
// their number lives. Best effort; never raises.
void RemoveStaleRunFolders(const std::string& base);

}  // namespace slidesaver
