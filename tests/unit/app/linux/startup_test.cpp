#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fcntl.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

extern char** environ;

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

// Runs the real player binary with the given arguments, with TMPDIR pointing at a test folder
// and no XDG_RUNTIME_DIR, so that its run-time files land in "<tmp>/slidesaver-<uid>".
class PlayerBinaryTest : public ::testing::Test {
 protected:

  // Returns the raw wait status of the finished player; its stdout goes to stdout_, its stderr
  // to stderr_.
  int Run(const std::vector<std::string>& args) {
    const std::string binary = std::string(SLIDESAVER_BUILD_DIR) + "/app/slidesaver";
    std::vector<std::string> env = {"TMPDIR=" + tmp_.string()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      // No display either: these runs must never open a window.
      if (std::strncmp(*entry, "TMPDIR=", 7) != 0 &&
          std::strncmp(*entry, "XDG_RUNTIME_DIR=", 16) != 0 &&
          std::strncmp(*entry, "DISPLAY=", 8) != 0 &&
          std::strncmp(*entry, "WAYLAND_DISPLAY=", 16) != 0 &&
          std::strncmp(*entry, "XSCREENSAVER_WINDOW=", 20) != 0) {
        env.push_back(*entry);
      }
    }
    std::vector<std::string> argvText = {binary};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv = Pointers(argvText);
    std::vector<char*> envp = Pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdout_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid;
    EXPECT_EQ(posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
  }

  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
  }

  void ExpectCleanExit(const std::vector<std::string>& args) {
    const int status = Run(args);
    std::string shown;
    for (const std::string& arg : args) shown += "[" + arg + "]";
    EXPECT_TRUE(WIFEXITED(status)) << shown;
    EXPECT_EQ(WEXITSTATUS(status), 0) << shown;
  }

  test::ScratchFolder scratch_{"startup_test"};
  std::string stdout_ = scratch_.Path("stdout.txt");
  std::string stderr_ = scratch_.Path("stderr.txt");
  fs::path tmp_ = scratch_.Path();
  fs::path runtime_ = tmp_ / ("slidesaver-" + std::to_string(geteuid()));
};

TEST_F(PlayerBinaryTest, ExitsZeroForEveryArgumentSet) {
  const std::vector<std::vector<std::string>> argumentSets = {
      {},
      {"/s"},
      {"/S", "extra", "more"},
      {"/c:1234"},
      {"/p"},
      {"/p", "1234"},
      {"/p", "not-a-handle"},
      {"/p:99999999999999999999"},
      {"/a"},
      {"/a", "1234"},
      {"/a", "junk"},
      {"\"", "\"\""},
      {"\x01\x7f\xff\xfe", "\t"},
      {std::string(100000, 'p')},
  };
  for (const auto& args : argumentSets) ExpectCleanExit(args);
}

TEST_F(PlayerBinaryTest, FailuresSayWhyInOneLine) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"/s"}, "slidesaver: Cannot open the display"},
      {{"/s", "--window-id", "foo"}, "slidesaver: --window-id needs a window id\n"},
      {{"/p", "abc"}, "slidesaver: 'ABC' is not a valid integer value\n"},
      {{"/p", "1234"}, "slidesaver: Cannot draw a preview into window 1234"},
  };
  for (const auto& c : cases) {
    ExpectCleanExit(c.args);
    // Libraries may add lines of their own (SDL looking for a Wayland display).
    const std::string text = "\n" + test::ScratchFolder::Read(stderr_);
    const std::size_t ours = text.find("\nslidesaver: ");
    EXPECT_EQ(text.compare(ours + 1, c.says.size(), c.says), 0) << text;
    EXPECT_EQ(text.find("\nslidesaver: ", ours + 1), std::string::npos) << text;
  }
}

TEST_F(PlayerBinaryTest, HelpAnywherePrintsTheUsageAndStartsNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"/s", "--root", "--help"}, {"/p", "1234", "--help"}}) {
    ExpectCleanExit(args);
    const std::string usage = test::ScratchFolder::Read(stdout_);
    EXPECT_EQ(usage.rfind("usage: SAVER [/S]", 0), 0u) << usage;
    for (const char* named : {"/P HWND", "/C", "/A", "--root", "--window-id ID",
                              "XSCREENSAVER_WINDOW"}) {
      EXPECT_NE(usage.find(named), std::string::npos) << named;
    }
    EXPECT_EQ(test::ScratchFolder::Read(stderr_), "") << args.front();
    EXPECT_FALSE(fs::exists(runtime_));  // no mode ran: no lock was taken
  }
  // Only the exact argument asks: any other is left to the modes (here, saver mode, which
  // finds no display).
  ExpectCleanExit({"--HELP"});
  EXPECT_EQ(test::ScratchFolder::Read(stdout_), "");
  EXPECT_NE(test::ScratchFolder::Read(stderr_).find("slidesaver: "), std::string::npos);
}

TEST_F(PlayerBinaryTest, PasswordModeEndsBeforeTheInstanceCheck) {
  ExpectCleanExit({"/a", "1234"});
  EXPECT_FALSE(fs::exists(runtime_));
}

TEST_F(PlayerBinaryTest, OtherModesTakeAndReleaseTheInstanceLock) {
  for (const char* mode : {"/s", "/c", "/p"}) {
    ExpectCleanExit({mode, "1234"});
    ASSERT_TRUE(fs::is_directory(runtime_)) << mode;
    EXPECT_TRUE(fs::is_empty(runtime_)) << mode;
  }
}

TEST_F(PlayerBinaryTest, UnsafeRuntimeFolderIsNoReasonToFail) {
  fs::create_directory(tmp_ / "elsewhere");
  fs::create_directory_symlink(tmp_ / "elsewhere", runtime_);
  ExpectCleanExit({"/s"});
  EXPECT_TRUE(fs::is_empty(tmp_ / "elsewhere"));
}

}  // namespace
}  // namespace slidesaver
