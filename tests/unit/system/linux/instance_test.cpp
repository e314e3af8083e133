#include "system/instance.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

class InstanceLockTest : public ::testing::Test {
 protected:

  InstanceLockResult TryHere() const {
    return InstanceLock::TryAcquire(folder_.string(), kName).result();
  }

  static constexpr const char* kName = "SAVER.SCRSemaphore";
  test::ScratchFolder scratch_{"instance_test"};
  fs::path folder_ = scratch_.Path();
};

// A child process that takes the lock and keeps it until it is killed.
class LockHoldingChild {
 public:
  LockHoldingChild(const std::string& folder, const char* name) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      InstanceLock lock = InstanceLock::TryAcquire(folder, name);
      const char answer = lock.result() == InstanceLockResult::Acquired ? 'y' : 'n';
      if (write(ready[1], &answer, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    if (pid_ > 0 && read(ready[0], &answer_, 1) != 1) answer_ = '?';
    close(ready[0]);
  }
  ~LockHoldingChild() { Kill(); }

  bool HoldsLock() const { return answer_ == 'y'; }

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  char answer_ = '?';
};

TEST(InstanceLockNameTest, FileNamePartFollowedBySemaphore) {
  EXPECT_EQ(InstanceLockName("/opt/savers/SAVER.SCR"), "SAVER.SCRSemaphore");
  EXPECT_EQ(InstanceLockName("/usr/bin/slidesaver"), "slidesaverSemaphore");
}

TEST(InstanceLockNameTest, OneNamePerDisplay) {
  const std::pair<const char*, const char*> cases[] = {
      {":57", "@:57"},         {":57.0", "@:57"},  {":57.1", "@:57"},
      {"host:10.0", "@host:10"}, {"", ""},          {"/tmp/x/org.x:0", "@_tmp_x_org.x:0"},
  };
  for (const auto& [display, suffix] : cases) EXPECT_EQ(DisplaySuffix(display), suffix) << display;
}

TEST_F(InstanceLockTest, SecondHolderIsRefusedAndReleaseLeavesNoFile) {
  {
    InstanceLock first = InstanceLock::TryAcquire(folder_.string(), kName);
    ASSERT_EQ(first.result(), InstanceLockResult::Acquired);
    EXPECT_TRUE(fs::exists(folder_ / kName));
    EXPECT_EQ(TryHere(), InstanceLockResult::AlreadyRunning);
    EXPECT_EQ(InstanceLock::TryAcquire(folder_.string(), "OTHER.SCRSemaphore").result(),
              InstanceLockResult::Acquired);
  }
  EXPECT_TRUE(fs::is_empty(folder_));
  EXPECT_EQ(TryHere(), InstanceLockResult::Acquired);
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(InstanceLockTest, MovedLockStaysHeld) {
  InstanceLock moved;
  {
    InstanceLock original = InstanceLock::TryAcquire(folder_.string(), kName);
    moved = std::move(original);
  }
  EXPECT_EQ(moved.result(), InstanceLockResult::Acquired);
  EXPECT_EQ(TryHere(), InstanceLockResult::AlreadyRunning);
  moved = InstanceLock();
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(InstanceLockTest, KilledHolderNeverBlocksTheNextStart) {
  LockHoldingChild child(folder_.string(), kName);
  ASSERT_TRUE(child.HoldsLock());
  EXPECT_EQ(TryHere(), InstanceLockResult::AlreadyRunning);

  child.Kill();
  EXPECT_TRUE(fs::exists(folder_ / kName));
  {
    InstanceLock next = InstanceLock::TryAcquire(folder_.string(), kName);
    EXPECT_EQ(next.result(), InstanceLockResult::Acquired);
  }
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(InstanceLockTest, UnavailableWhenTheFileCannotBeMade) {
  EXPECT_EQ(InstanceLock::TryAcquire(folder_.string(), std::string(300, 'n')).result(),
            InstanceLockResult::Unavailable);
  EXPECT_EQ(InstanceLock::TryAcquire((folder_ / "missing").string(), kName).result(),
            InstanceLockResult::Unavailable);
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(InstanceLockTest, PlantedSymlinkIsNotFollowed) {
  fs::create_symlink(folder_ / "victim", folder_ / kName);
  EXPECT_EQ(TryHere(), InstanceLockResult::Unavailable);
  EXPECT_FALSE(fs::exists(folder_ / "victim"));
}

}  // namespace
}  // namespace slidesaver
