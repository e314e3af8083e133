#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace slidesaver {

class ReadableFile;

// A new file beside a target that replaces the target only when complete:
// created under a fresh hidden name in the target's folder, without following
// links, and renamed over the target by Commit. Until then the target is
// untouched; a file that is not committed is removed again.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // False, with errno set, when no such file could be created. `mode` holds the
  // permission bits of a new file (0644 and the like), where the system has them.
  bool Create(const std::string& target, unsigned mode);
  int Fd() const { return fd_; }
  // A stdio stream over the file, owned by this object.
  std::FILE* Stream();
  // Appends bytes; false on failure.
  bool Write(std::string_view bytes);
  // Gives the new file the permissions of `original` (the file it replaces),
  // and its owner where the system allows; false when the permissions cannot be set.
  bool KeepAttributesOf(const ReadableFile& original);
  // Flushes, syncs to disk when asked (the folder's entry too), closes and
  // renames over the target; false, with errno set, on failure.
  bool Commit(bool sync);

 private:
  bool Close();

  std::string target_;
  std::string path_;
  int fd_ = -1;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

}  // namespace slidesaver
