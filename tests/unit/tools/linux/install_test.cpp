// slidesaver-pack install and uninstall: the edits of ~/.xscreensaver as text, then the whole
// command in a scratch home.

#include "tools/install.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "graphics/jpeg.h"
#include "tests/support/error_of.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

const std::string kPath = "/home/me/Holiday.scr";
const std::string kCommand = kPath + " /S --root";
const std::string kEntry = "\t\t     \"Holiday\" \t" + kCommand + "\t\t    \\n\\";

// As xscreensaver-settings writes it (shortened).
const std::string kWritten =
    "# XScreenSaver Preferences File\n"
    "timeout:\t0:10:00\n"
    "mode:\t\trandom\n"
    "selected:\t-1\n"
    "\n"
    "programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
    "-\t\t   \"Off Title\" \t/opt/bar.scr /S --root\t\t    \\n\\\n"
    "\n"
    "\n"
    "pointerHysteresis:  10\n";

// Written by hand: comments, odd spacing, other continued resources, an entry on the header.
const std::string kByHand =
    "! my settings\n"
    "   timeout :   0:05:00   \n"
    "# programs: not this one\n"
    "textProgram: fortune \\\n"
    "   -s\n"
    "selected: 2\n"
    "programs:   \"Maze\" maze -root \\n\\\n"
    "  -  GL: gears -root \\n\\\n"
    "     qix -root \\n\n"
    "lock: True";

struct RoundTrip {
  const char* name;
  std::string before;
  bool only;
  std::string after;  // what install makes of `before`
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

class InstallText : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(InstallText, AddsOneEntryAndUninstallGivesTheFileBack) {
  const RoundTrip& c = GetParam();
  const std::string after = AddProgramEntry(c.before, "Holiday", kCommand, c.only);
  EXPECT_EQ(after, c.after);
  EXPECT_EQ(ProgramEntryIndex(after, kPath), 0);
  EXPECT_EQ(RemoveProgramEntry(after, kPath, c.before), c.before);
  EXPECT_EQ(RemoveProgramEntry(c.before, kPath, std::nullopt), std::nullopt);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  return at == std::string::npos ? "(no " + from + ")" : text.replace(at, from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstallText,
    ::testing::Values(
        RoundTrip{"none", "", false, "programs:\t\t\t\t\t\t\t\t      \\\n" + kEntry + "\n\n"},
        RoundTrip{"none_only", "", true,
                  "mode:\t\tone\nselected:\t0\nprograms:\t\t\t\t\t\t\t\t      \\\n" + kEntry + "\n\n"},
        RoundTrip{"written", kWritten, false,
                  Replace(kWritten, "      \\\n", "      \\\n" + kEntry + "\n")},
        RoundTrip{"written_only", kWritten, true,
                  Replace(Replace(Replace(kWritten, "      \\\n", "      \\\n" + kEntry + "\n"), "random", "one"),
                          "-1", "0")},
        RoundTrip{"by_hand", kByHand, false,
                  Replace(Replace(kByHand, "programs:   \"Maze\"",
                                  "programs:   \"Holiday\"  " + kCommand + " \\n\\\n\"Maze\""),
                          "selected: 2", "selected: 3")},
        RoundTrip{"by_hand_only", kByHand, true,
                  Replace(Replace(kByHand, "programs:   \"Maze\"",
                                  "programs:   \"Holiday\"  " + kCommand + " \\n\\\n\"Maze\""),
                          "selected: 2\nprograms:", "selected: 0\nmode:\t\tone\nprograms:")},
        RoundTrip{"no_programs", "lock: False\n", false,
                  "lock: False\nprograms:\t\t\t\t\t\t\t\t      \\\n" + kEntry + "\n\n"},
        RoundTrip{"empty_programs", "programs:\nlock: False\n", false,
                  "programs:\"Holiday\"  " + kCommand + " \\n\\\n\nlock: False\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InstallText, ReinstallReplacesInPlaceKeepingTheDisabledMark) {
  const std::string once = AddProgramEntry(kWritten, "Holiday", kCommand, false);
  const std::string disabled = Replace(once, kEntry, "-" + kEntry.substr(1));
  const std::string again = AddProgramEntry(disabled, "Summer", kCommand, true);
  EXPECT_EQ(again, Replace(Replace(Replace(once, kEntry, "-\t\t      \"Summer\" \t" + kCommand + "\t\t    \\n\\"),
                                   "random", "one"),
                           "-1", "0"));
  // In the middle of the list it stays where it is, and --only selects it there.
  const std::string middle = Replace(kWritten, "- GL:", kEntry + "\n- GL:");
  EXPECT_EQ(AddProgramEntry(middle, "Holiday", kCommand, true),
            Replace(Replace(middle, "random", "one"), "-1", "1"));
}

TEST(InstallText, UninstallKeepsSelectedOnTheSameSaver) {
  const std::string middle = Replace(kWritten, "- GL:", kEntry + "\n- GL:");
  struct Case {
    std::string selected;
    std::optional<std::string> before;
    std::string expected;  // mode and selected afterwards
  } cases[] = {
      {"mode:\t\tone\nselected:\t3", std::nullopt, "mode:\t\tone\nselected:\t2"},  // below it: moves up
      {"mode:\t\tone\nselected:\t0", std::nullopt, "mode:\t\tone\nselected:\t0"},  // above it: stays
      {"mode:\t\tone\nselected:\t1", std::nullopt, "mode:\t\trandom\nselected:\t-1"},
      {"mode:\t\tone\nselected:\t1", Replace(kWritten, "random", "blank"), "mode:\t\tblank\nselected:\t-1"},
  };
  for (const Case& c : cases) {
    const std::string file = Replace(middle, "mode:\t\trandom\nselected:\t-1", c.selected);
    EXPECT_EQ(RemoveProgramEntry(file, kPath, c.before),
              Replace(kWritten, "mode:\t\trandom\nselected:\t-1", c.expected))
        << c.selected;
  }
}

// ---- the command, in a scratch home

class InstallCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("HOME", home_.Path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_.Path() + "/data").c_str(), 1);
    const std::string jpeg = home_.Write("a.jpg", EncodeJpeg(MakeDemoPicture(0, 64, 48)));
    const std::string player = home_.Write("player", std::string(1000, 'P'));
    ASSERT_EQ(std::system((std::string(SLIDESAVER_BUILD_DIR) + "/tools/slidesaver-pack build --player " + player +
                           " --out '" + saver_ + "' --picture " + jpeg + " --title 'My \"Best\" Show' >/dev/null")
                              .c_str()),
              0);
    ::setenv("PATH", home_.Path().c_str(), 1);  // no daemon to find
  }
  void TearDown() override {
    ::setenv("PATH", path_.c_str(), 1);
    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
  }
  std::string Run(std::vector<std::string> args, bool uninstall) {
    std::ostringstream out;
    EXPECT_EQ(InstallCommand(args, uninstall, out), 0);
    return out.str();
  }
  std::string Home(const std::string& name) const { return home_.Path(name); }

  std::string path_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  test::ScratchFolder home_{"install_test"};
  std::string saver_ = home_.Path("Holiday Show.scr");
  std::string installed_ = home_.Path("data/slidesaver/Holiday Show.scr");
};

TEST_F(InstallCommandTest, XScreenSaverInstallAndUninstallLeaveTheHomeAsItWas) {
  const std::string settings = home_.Write(".xscreensaver", kWritten);
  ::chmod(settings.c_str(), 0600);
  const std::string out = Run({saver_, "--for", "xscreensaver", "--only"}, false);
  EXPECT_EQ(out, "copied " + saver_ + " to " + installed_ + "\nadded \"My  Best  Show\" ('" + installed_ +
                     "' /S --root) to " + settings + " (backup: " + settings + ".bak)\nset mode: one and "
                     "selected: 0 in " + settings + ": XScreenSaver shows this saver alone\n");
  EXPECT_EQ(test::ScratchFolder::Read(installed_), test::ScratchFolder::Read(saver_));
  EXPECT_EQ(fs::status(installed_).permissions(), fs::perms(0755));
  EXPECT_EQ(fs::status(settings).permissions(), fs::perms(0600));
  EXPECT_EQ(fs::status(settings + ".bak").permissions(), fs::perms(0600));
  EXPECT_EQ(test::ScratchFolder::Read(settings + ".bak"), kWritten);
  EXPECT_EQ(ProgramEntryIndex(test::ScratchFolder::Read(settings), installed_), 0);
  Run({saver_, "--for", "xscreensaver"}, false);  // again: replaced, not doubled
  EXPECT_EQ(RemoveProgramEntry(test::ScratchFolder::Read(settings), installed_, std::nullopt)->find(installed_),
            std::string::npos);

  home_.Write(".xscreensaver.bak", kWritten);  // as if installed once
  // Without --for it looks everywhere (and may add what to take out of a daemon found running).
  const std::string removed = "removed the entry of " + installed_ + " from " + settings + " (backup: " +
                              settings + ".bak)\nremoved " + installed_ + "\n";
  EXPECT_EQ(Run({"Holiday Show.scr"}, true).substr(0, removed.size()), removed);
  EXPECT_EQ(test::ScratchFolder::Read(settings), kWritten);
  EXPECT_FALSE(fs::exists(installed_));
  EXPECT_EQ(Run({saver_}, true), "nothing to remove: " + installed_ + " is not installed\n");
}

TEST_F(InstallCommandTest, NoXScreenSaverFileBeforeNoneAfter) {
  Run({saver_, "--for", "xscreensaver", "--only"}, false);
  EXPECT_TRUE(fs::exists(Home(".xscreensaver")));
  EXPECT_FALSE(fs::exists(Home(".xscreensaver.bak")));
  Run({saver_, "--for", "xscreensaver"}, true);
  EXPECT_FALSE(fs::exists(Home(".xscreensaver")));
}

TEST_F(InstallCommandTest, XSecureLockGetsAModuleScriptThatUninstallTakesBack) {
  const std::string module = Home("data/slidesaver/saver_slidesaver");
  EXPECT_EQ(Run({saver_, "--for", "xsecurelock"}, false),
            "copied " + saver_ + " to " + installed_ + "\nwrote " + module + " (runs '" + installed_ +
                "' /S)\nset XSECURELOCK_SAVER in the environment xsecurelock starts in (exported in "
                "~/.xsessionrc, for example):\nXSECURELOCK_SAVER=" + module + "\n");
  EXPECT_EQ(test::ScratchFolder::Read(module), "#!/bin/sh\nexec '" + installed_ + "' /S\n");
  EXPECT_EQ(fs::status(module).permissions(), fs::perms(0755));
  EXPECT_EQ(Run({saver_, "--for", "xsecurelock"}, true), "removed " + module + "\nremoved " + installed_ + "\n");
  EXPECT_FALSE(fs::exists(module));
}

TEST_F(InstallCommandTest, LineDaemonsGetTheLineToAdd) {
  EXPECT_NE(Run({saver_, "--for", "xss-lock"}, false).find("\nxss-lock -- '" + installed_ + "' /S &\n"),
            std::string::npos);
  EXPECT_NE(Run({saver_, "--for", "sway"}, false).find("\nexec swayidle -w timeout 300 \"'" + installed_ + "' /S\"\n"),
            std::string::npos);
}

TEST_F(InstallCommandTest, RefusesBadCommandLinesAndWindows) {
  const struct {
    std::vector<std::string> args;
    bool uninstall;
    std::string message;
  } cases[] = {
      {{}, false, "install needs the saver file"},
      {{"a.scr", "b.scr"}, false, "install takes one saver file, not also \"b.scr\""},
      {{"a.scr", "--for"}, false, "--for needs a value: xscreensaver, xsecurelock, xss-lock, sway or windows"},
      {{"a.scr", "--for", "kde"}, false, "--for takes xscreensaver, xsecurelock, xss-lock, sway or windows, not \"kde\""},
      {{"a.scr", "--only"}, true, "uninstall: unknown option \"--only\""},
      {{"a.scr", "--only", "--for", "xss-lock"}, false, "--only is for --for xscreensaver"},
      {{"a.scr", "--for", "windows"}, false,
       "--for windows: this slidesaver-pack runs on Linux; install a saver on Windows with slidesaver-pack.exe "
       "install there"},
      {{home_.Path("player"), "--for", "xss-lock"}, false, "is not a screen saver"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    const std::string message = test::ErrorOf([&] { InstallCommand(c.args, c.uninstall, out); });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
  EXPECT_FALSE(fs::exists(Home("data")));
}

}  // namespace
}  // namespace slidesaver
