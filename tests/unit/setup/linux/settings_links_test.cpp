#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "setup/settings.h"
#include "tests/unit/setup/settings_fixture.h"

namespace slidesaver {
namespace {

using test::SettingsFileTest;
namespace fs = std::filesystem;

TEST_F(SettingsFileTest, WritingKeepsModeAndLeavesNoTemporaryFile) {
  Store(ini_, "[Setup]\nmute=0\n");
  ASSERT_EQ(::chmod(ini_.c_str(), 0600), 0);
  WriteMuteSetting(ini_, true);
  struct stat info;
  ASSERT_EQ(::stat(ini_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"CONTROL.INI"});
}

TEST_F(SettingsFileTest, SymbolicLinkIsKept) {
  fs::create_directory(folder_ + "/real");
  Store(folder_ + "/real/settings.ini", "[Setup]\nmute=0\n");
  fs::create_symlink("real/settings.ini", ini_);
  WriteMuteSetting(ini_, true);
  EXPECT_TRUE(fs::is_symlink(ini_));
  EXPECT_EQ(Load(folder_ + "/real/settings.ini"), "[Setup]\nmute=1\n");
  EXPECT_TRUE(ReadMuteSetting(ini_, false));

  // A link to a file that does not exist yet creates that file.
  fs::remove(ini_);
  fs::create_symlink(folder_ + "/real/new.ini", ini_);
  WriteMuteSetting(ini_, false);
  EXPECT_TRUE(fs::is_symlink(ini_));
  EXPECT_EQ(Load(folder_ + "/real/new.ini"), "[Setup]\nmute=0\n");
}

TEST_F(SettingsFileTest, LinksAreWrittenThroughOnlyWhenNobodyElseCouldPlaceThem) {
  struct Case {
    const char* name;
    mode_t linkFolderMode;
    mode_t hopFolderMode;  // 0: one link; else a second link, in a folder of this mode
    bool foreignLink;      // the first link belongs to another user (needs root)
    bool followed;
  };
  const Case cases[] = {
      {"own link, private folder", 0700, 0, false, true},
      {"own link, sticky world-writable folder", 01777, 0, false, true},
      {"group-writable folder", 0770, 0, false, false},
      {"world-writable folder", 0703, 0, false, false},
      {"chain through private folders", 0700, 0755, false, true},
      {"chain through a group-writable folder", 0700, 0775, false, false},
      {"link of another user", 0700, 0, true, false},
  };
  fs::create_directory(folder_ + "/real");
  const std::string target = folder_ + "/real/settings.ini";
  bool skipped = false;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    if (c.foreignLink && ::geteuid() != 0) {
      skipped = true;
      continue;
    }
    const std::string row = folder_ + "/row" + std::to_string(i);
    fs::create_directories(row + "/hop");
    Store(target, "[Setup]\nmute=0\n");
    std::string next = target;
    if (c.hopFolderMode != 0) {
      fs::create_symlink(target, row + "/hop/next.ini");
      ASSERT_EQ(::chmod((row + "/hop").c_str(), c.hopFolderMode), 0);
      next = row + "/hop/next.ini";
    }
    const std::string link = row + "/CONTROL.INI";
    fs::create_symlink(next, link);
    if (c.foreignLink) {
      ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(row.c_str(), c.linkFolderMode), 0);

    bool refused = false;
    try {
      WriteMuteSetting(link, true);
    } catch (const Error& error) {
      refused = true;
      EXPECT_EQ(std::string(error.what()), "Unable to write to " + link);
    }
    EXPECT_EQ(refused, !c.followed);
    EXPECT_EQ(Load(target), c.followed ? "[Setup]\nmute=1\n" : "[Setup]\nmute=0\n");
    EXPECT_EQ(ReadMuteSetting(link, false), c.followed);  // reading follows any link
    EXPECT_TRUE(fs::is_symlink(link));
  }
  if (skipped) GTEST_SKIP() << "a link of another user needs root to make";
}

TEST_F(SettingsFileTest, ReadOnlyFolderIsReportedAndLeftUntouched) {
  Store(ini_, "[Setup]\nmute=0\n");
  ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
  if (::access(folder_.c_str(), W_OK) == 0) {
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  try {
    WriteMuteSetting(ini_, true);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + ini_);
  }
  EXPECT_EQ(Load(ini_), "[Setup]\nmute=0\n");
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"CONTROL.INI"});
}

TEST_F(SettingsFileTest, LinksThatLoopAreNotWritten) {
  fs::create_symlink("loop", folder_ + "/loop");
  EXPECT_THROW(WriteProfileString(folder_ + "/loop", "Setup", "mute", "1"), Error);
}

}  // namespace
}  // namespace slidesaver
