#include "system/run_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "system/signals.h"
#include "tests/support/scratch_folder.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(RunFolderTest, PrivateFreshAndGoneWithItsOwner) {
  const test::ScratchFolder base("run_folder_test");
  std::string path;
  {
    const auto first = RunFolder::Create(base.Path());
    const auto second = RunFolder::Create(base.Path());
    path = first->Path();
    EXPECT_NE(path, second->Path());
    const std::string name = fs::path(path).parent_path().filename().string();
    EXPECT_EQ(name.rfind("run-" + std::to_string(getpid()) + "-", 0), 0u) << name;
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    Touch(first->PathOf("a.wav"));
    EXPECT_GT(first->FreeBytes(), 0);
    // Another program's cleaning leaves folders of living programs alone.
    RemoveStaleRunFolders(base.Path());
    EXPECT_TRUE(fs::exists(first->PathOf("a.wav")));
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_empty(base.Path()));
}

TEST(RunFolderTest, LeftoversOfEndedProgramsAreRemovedAtTheNextStart) {
  const test::ScratchFolder base("run_folder_test");
  // A child makes its folder and dies without cleaning up.
  const pid_t child = fork();
  if (child == 0) {
    const auto folder = RunFolder::Create(base.Path());
    Touch(folder->PathOf("melody.wav"));
    _exit(0);  // no destructors
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  fs::create_directory(base.Path("notes"));  // no run folder: never touched
  ASSERT_EQ(std::distance(fs::directory_iterator(base.Path()), {}), 2);
  RemoveStaleRunFolders(base.Path());
  ASSERT_EQ(std::distance(fs::directory_iterator(base.Path()), {}), 1);
  EXPECT_TRUE(fs::exists(base.Path("notes")));
}

// A program that does not close within its deadline after a termination signal
// still removes its files and ends with status 0.
TEST(RunFolderTest, TerminationDeadlineCleansUpAndEnds) {
  const test::ScratchFolder base("run_folder_test");
  const pid_t child = fork();
  if (child == 0) {
    TerminationSignals signals;
    signals.EndProcessAfter(std::chrono::milliseconds(50));
    const auto folder = RunFolder::Create(base.Path());
    Touch(folder->PathOf("melody.wav"));
    kill(getpid(), SIGUSR1);
    for (;;) pause();  // stuck: only the deadline ends it
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_empty(base.Path()));
}

}  // namespace
}  // namespace slidesaver
