#include "system/replacement_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/scratch_folder.h"

namespace slidesaver {
namespace {

using test::ScratchFolder;

int FilesIn(const std::string& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST(ReplacementFileTest, ReplacesTheTargetOnlyWhenCommitted) {
  ScratchFolder folder("replacement");
  const std::string target = folder.Write("out.bin", "old");
  {
    ReplacementFile file;
    ASSERT_TRUE(file.Create(target, 0640));
    ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
    EXPECT_EQ(ScratchFolder::Read(target), "old");  // untouched until committed
  }
  EXPECT_EQ(ScratchFolder::Read(target), "old");
  EXPECT_EQ(FilesIn(folder.Path()), 1);  // the uncommitted file is gone

  const mode_t mask = ::umask(022);
  ReplacementFile file;
  const bool created = file.Create(target, 0750);
  ::umask(mask);
  ASSERT_TRUE(created);
  std::fputs("through a stream", file.Stream());
  ASSERT_TRUE(file.Commit(true));
  EXPECT_EQ(ScratchFolder::Read(target), "through a stream");
  EXPECT_EQ(FilesIn(folder.Path()), 1);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(ReplacementFileTest, FailuresReportErrno) {
  ScratchFolder folder("replacement");
  ReplacementFile file;
  EXPECT_FALSE(file.Create(folder.Path("missing/out.bin"), 0644));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(file.Commit(false));
}

}  // namespace
}  // namespace slidesaver
