#include "app/cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"

namespace slidesaver {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineTest, ControlCharactersAndBlanksSeparate) {
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine(" \t\r\n "), Args{});
  EXPECT_EQ(SplitCommandLine("/p 1234"), (Args{"/p", "1234"}));
  EXPECT_EQ(SplitCommandLine("  /p\t\t1234  "), (Args{"/p", "1234"}));
  EXPECT_EQ(SplitCommandLine("a\x01" "b\x1f" "c\x20" "d"), (Args{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitCommandLine("a!b~c"), (Args{"a!b~c"}));
}

TEST(SplitCommandLineTest, HighBytesAreOrdinaryCharacters) {
  EXPECT_EQ(SplitCommandLine("\xe4\xf6 \x80\xff"), (Args{"\xe4\xf6", "\x80\xff"}));
  EXPECT_EQ(SplitCommandLine("\xa0"), (Args{"\xa0"}));
}

TEST(SplitCommandLineTest, ZeroByteEndsTheText) {
  EXPECT_EQ(SplitCommandLine(std::string_view("/s\0 1234", 8)), (Args{"/s"}));
  EXPECT_EQ(SplitCommandLine(std::string_view("\"a\0b\" c", 7)), (Args{"a"}));
}

TEST(SplitCommandLineTest, QuotesGroupAndAreDropped) {
  EXPECT_EQ(SplitCommandLine("\"a b\" c"), (Args{"a b", "c"}));
  EXPECT_EQ(SplitCommandLine("x\"a b\"y z"), (Args{"xa by", "z"}));
  EXPECT_EQ(SplitCommandLine("\"a\tb\x01\""), (Args{"a\tb\x01"}));
  EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), (Args{"ab"}));
  EXPECT_EQ(SplitCommandLine("\"open b"), (Args{"open b"}));
  EXPECT_EQ(SplitCommandLine("a \""), (Args{"a", ""}));
}

TEST(SplitCommandLineTest, EmptyPairAtArgumentStartSeparates) {
  EXPECT_EQ(SplitCommandLine("\"\" /s"), (Args{"/s"}));
  EXPECT_EQ(SplitCommandLine("/p \"\" \"\"\t1234"), (Args{"/p", "1234"}));
  EXPECT_EQ(SplitCommandLine("/p \"\""), (Args{"/p"}));
  EXPECT_EQ(SplitCommandLine("\"\"\"\"\"a b\""), (Args{"a b"}));
  // A pair at the start of an argument is skipped, so a following quote opens a group.
  EXPECT_EQ(SplitCommandLine("\"\"\"x y\" z"), (Args{"x y", "z"}));
}

TEST(SplitCommandLineTest, EmptyPairInsideAnArgumentIsDropped) {
  EXPECT_EQ(SplitCommandLine("a\"\"b c"), (Args{"ab", "c"}));
  EXPECT_EQ(SplitCommandLine("a\"\" b"), (Args{"a", "b"}));
}

TEST(CommandLineFromArgvTest, JoinsArgumentsAfterTheProgramPath) {
  char program[] = "/opt/with space/SAVER \"SCR\"";
  char first[] = "/p";
  char second[] = "12 34";
  char* argv[] = {program, first, second, nullptr};
  EXPECT_EQ(CommandLineFromArgv(3, argv), "/p 12 34");
  EXPECT_EQ(CommandLineFromArgv(1, argv), "");
  EXPECT_EQ(SplitCommandLine(CommandLineFromArgv(3, argv)), (Args{"/p", "12", "34"}));
}

TEST(StartupArgsTest, TakesFirstTwoArgumentsUpperCased) {
  const StartupArgs preview = ReadStartupArgs("/p:1234");
  EXPECT_EQ(preview.first, "/P:1234");
  EXPECT_EQ(preview.second, "");

  const StartupArgs password = ReadStartupArgs("/a  0x1f extra");
  EXPECT_EQ(password.first, "/A");
  EXPECT_EQ(password.second, "0X1F");

  const StartupArgs none = ReadStartupArgs("");
  EXPECT_EQ(none.first, "");
  EXPECT_EQ(none.second, "");
}

TEST(StartupArgsTest, UpperCasingTouchesAsciiLettersOnly) {
  EXPECT_EQ(ToUpperAscii("azAZ09"), "AZAZ09");
  EXPECT_EQ(ToUpperAscii("`{@[\xe4\xf6\xe9"), "`{@[\xe4\xf6\xe9");
}

RunMode ModeOf(std::string_view firstArgument) {
  return ParseRunMode(ReadStartupArgs(firstArgument).first);
}

TEST(AsksForHelpTest, OnlyTheExactArgumentAnywhere) {
  const struct {
    Args args;
    bool help;
  } cases[] = {
      {{"--help"}, true},         {{"/S", "--help"}, true},   {{"/p", "123", "--help"}, true},
      {{}, false},                {{"--HELP"}, false},        {{"-h"}, false},
      {{"/?"}, false},            {{"--help=1"}, false},      {{"x--help"}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AsksForHelp(c.args), c.help) << ::testing::PrintToString(c.args);
  }
}

TEST(ParseRunModeTest, SaverIsTheDefault) {
  for (const char* arg : {"/S", "/s", "-s", "s", "SAVER", "x", "/", "-", "/x", "-/", "\xe1"}) {
    EXPECT_EQ(ModeOf(arg), RunMode::Saver) << arg;
  }
}

TEST(ParseRunModeTest, PasswordChange) {
  for (const char* arg : {"/a", "/A", "-a", "a", "ABOUT", "/a:99"}) {
    EXPECT_EQ(ModeOf(arg), RunMode::PasswordChange) << arg;
  }
}

TEST(ParseRunModeTest, Preview) {
  for (const char* arg : {"/p", "/P", "-p", "p", "PREVIEW", "/p:1234"}) {
    EXPECT_EQ(ModeOf(arg), RunMode::Preview) << arg;
  }
}

TEST(ParseRunModeTest, SetupIncludingNoArgument) {
  for (const char* arg : {"/c", "/C", "-c", "c", "CONFIG", "/c:1234", ""}) {
    EXPECT_EQ(ModeOf(arg), RunMode::Setup) << arg;
  }
}

TEST(ParseRunModeTest, LetterMustBeFirstOrBehindOneSwitchCharacter) {
  EXPECT_EQ(ModeOf("//a"), RunMode::Saver);
  EXPECT_EQ(ModeOf("-/p"), RunMode::Saver);
  EXPECT_EQ(ModeOf("sc"), RunMode::Saver);
}

TEST(ParseWindowHandleTest, StrictIntegerOrError) {
  EXPECT_EQ(ParseWindowHandle("1234"), 1234);
  EXPECT_EQ(ParseWindowHandle("  -5"), -5);
  EXPECT_EQ(ParseWindowHandle("$FF"), 255);
  EXPECT_EQ(ParseWindowHandle("0X10"), 16);
  for (const char* bad : {"", " ", "12A", "1234 ", "2147483648", "/P"}) {
    EXPECT_THROW(ParseWindowHandle(bad), Error) << bad;
  }
}

TEST(SaverTargetTest, WindowIdArgumentThenEnvironmentThenRoot) {
  using Kind = SaverTarget::Kind;
  const auto target = [](std::vector<std::string> args, const char* env) {
    const SaverTarget t = FindSaverTarget(args, env);
    return std::pair<Kind, std::uint64_t>(t.kind, t.windowId);
  };
  EXPECT_EQ(target({"/S"}, nullptr), std::pair(Kind::OwnWindow, std::uint64_t{0}));
  EXPECT_EQ(target({"/S"}, "0x1a00007"), std::pair(Kind::HostWindow, std::uint64_t{0x1a00007}));
  EXPECT_EQ(target({"/S"}, "4194311"), std::pair(Kind::HostWindow, std::uint64_t{4194311}));
  EXPECT_EQ(target({"/S", "--root"}, "0x20"), std::pair(Kind::HostWindow, std::uint64_t{0x20}));
  EXPECT_EQ(target({"/S", "--Window-ID", "77", "--root"}, "0x20"),
            std::pair(Kind::HostWindow, std::uint64_t{77}));
  EXPECT_EQ(target({"--root"}, nullptr), std::pair(Kind::RootWindow, std::uint64_t{0}));
  // A daemon's stale or empty variable is no window: the saver makes its own.
  for (const char* env : {"", "0", "junk", "0x", "12q", "0x1FFFFFFFF"}) {
    EXPECT_EQ(target({"/S"}, env).first, Kind::OwnWindow) << env;
  }
  EXPECT_EQ(target({"/S", "--root"}, "junk").first, Kind::RootWindow);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"/S", "--window-id"}, {"--window-id", "0"}, {"--window-id", "-5"}}) {
    EXPECT_THROW(FindSaverTarget(bad, nullptr), Error);
  }
}

TEST(CmdLineTest, DesktopPreferenceFromTheLastSwitch) {
  using P = DesktopPreference;
  const std::pair<std::vector<std::string>, P> cases[] = {
      {{"/S"}, P::Session},
      {{"/s", "--Wayland"}, P::Wayland},
      {{"/C", "--X11"}, P::X11},
      {{"--x11", "/S", "--wayland"}, P::Wayland},
      {{"/S", "-x11", "--waylandx"}, P::Session},
  };
  for (const auto& [args, preference] : cases) EXPECT_EQ(FindDesktopPreference(args), preference);
}

}  // namespace
}  // namespace slidesaver
