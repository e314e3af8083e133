#include "system/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "base/error.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

TEST(PathPartsTest, JoinInsertsOneSlashWhenMissing) {
  EXPECT_EQ(PathJoin("/tmp", "a.mp3"), "/tmp/a.mp3");
  EXPECT_EQ(PathJoin("/tmp/", "a.mp3"), "/tmp/a.mp3");
  EXPECT_EQ(PathJoin("/opt/saver//", "CONTROL.INI"), "/opt/saver//CONTROL.INI");
  EXPECT_EQ(PathJoin("/", "x"), "/x");
  EXPECT_EQ(PathJoin("", "x"), "x");  // never the root folder by accident
}

TEST(PathPartsTest, FileNameAndFolder) {
  EXPECT_EQ(FileNamePart("/opt/savers/SAVER.SCR"), "SAVER.SCR");
  EXPECT_EQ(FolderPart("/opt/savers/SAVER.SCR"), "/opt/savers/");
  EXPECT_EQ(FileNamePart("SAVER.SCR"), "SAVER.SCR");
  EXPECT_EQ(FolderPart("SAVER.SCR"), "");
  EXPECT_EQ(FileNamePart("/slidesaver"), "slidesaver");
  EXPECT_EQ(FolderPart("/slidesaver"), "/");
  EXPECT_EQ(PathJoin(FolderPart("/opt/a.scr"), "CONTROL.INI"), "/opt/CONTROL.INI");
}

TEST(OwnExecutablePathTest, NamesTheRunningBinary) {
  const std::string path = OwnExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(FileNamePart(path), "system_tests");
  struct stat named;
  struct stat running;
  ASSERT_EQ(stat(path.c_str(), &named), 0);
  ASSERT_EQ(stat("/proc/self/exe", &running), 0);
  EXPECT_EQ(named.st_ino, running.st_ino);
}

// Points TMPDIR at a fresh test folder and removes XDG_RUNTIME_DIR; both come back afterwards.
class RuntimeFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedTmpdir_ = Saved("TMPDIR");
    savedRuntimeDir_ = Saved("XDG_RUNTIME_DIR");
    std::string pattern = (fs::temp_directory_path() / "files_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    setenv("TMPDIR", base_.c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
    expected_ = (base_ / ("slidesaver-" + std::to_string(geteuid()))).string();
  }
  void TearDown() override {
    Restore("TMPDIR", savedTmpdir_);
    Restore("XDG_RUNTIME_DIR", savedRuntimeDir_);
    fs::remove_all(base_);
  }

  static std::optional<std::string> Saved(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  static void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  static mode_t PermissionsOf(const std::string& path) {
    struct stat info;
    EXPECT_EQ(lstat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
  }

  std::optional<std::string> savedTmpdir_;
  std::optional<std::string> savedRuntimeDir_;
  fs::path base_;
  std::string expected_;
};

TEST_F(RuntimeFolderTest, CreatesPrivateFolderUnderTmpdir) {
  EXPECT_EQ(RuntimeFolder(), expected_ + "/");
  EXPECT_EQ(PermissionsOf(expected_), 0700u);
  EXPECT_EQ(RuntimeFolder(), expected_ + "/");

  setenv("TMPDIR", (base_.string() + "/").c_str(), 1);
  EXPECT_EQ(RuntimeFolder(), expected_ + "/");
}

TEST_F(RuntimeFolderTest, RefusesPlantedSymlink) {
  const fs::path target = base_ / "target";
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
  fs::create_directory_symlink(target, expected_);
  EXPECT_THROW(RuntimeFolder(), Error);
}

TEST_F(RuntimeFolderTest, RefusesFolderOthersCanReach) {
  ASSERT_EQ(mkdir(expected_.c_str(), 0700), 0);
  for (mode_t mode : {0755, 0710, 0701, 0770}) {
    ASSERT_EQ(chmod(expected_.c_str(), mode), 0);
    EXPECT_THROW(RuntimeFolder(), Error) << std::oct << mode;
  }
}

TEST_F(RuntimeFolderTest, RefusesFileAndForeignOwner) {
  std::FILE* file = std::fopen(expected_.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_THROW(RuntimeFolder(), Error);
  ASSERT_EQ(unlink(expected_.c_str()), 0);

  if (geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  ASSERT_EQ(mkdir(expected_.c_str(), 0700), 0);
  ASSERT_EQ(chown(expected_.c_str(), 65534, 65534), 0);
  EXPECT_THROW(RuntimeFolder(), Error);
}

TEST_F(RuntimeFolderTest, UsesPrivateRuntimeDirOnly) {
  const fs::path runtime = base_ / "run";
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  EXPECT_EQ(RuntimeFolder(), runtime.string() + "/slidesaver/");
  EXPECT_EQ(PermissionsOf(runtime.string() + "/slidesaver"), 0700u);
  EXPECT_FALSE(fs::exists(expected_));

  ASSERT_EQ(chmod(runtime.c_str(), 0777), 0);
  EXPECT_EQ(RuntimeFolder(), expected_ + "/");

  ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
  setenv("XDG_RUNTIME_DIR", "relative/run", 1);
  EXPECT_EQ(RuntimeFolder(), expected_ + "/");
}

}  // namespace
}  // namespace slidesaver
