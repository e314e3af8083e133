#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/desktop.h"

namespace slidesaver {

// Splits a command-line text into its arguments. Runs of characters with codes 1 to 32 separate
// arguments, and an empty pair of double quotes where an argument would begin counts as part of
// such a separator. Inside an argument, double quotes group a stretch that may contain blanks;
// the quotes themselves are dropped and an unclosed quote runs to the end of the text. A zero
// byte ends the text. Bytes of 0x80 and above are ordinary characters.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Rebuilds the argument text the host passed: argv[1..] joined with single spaces. The program's
// own path (argv[0]) is not part of it.
std::string CommandLineFromArgv(int argc, char** argv);

// Upper-cases the ASCII letters a..z and leaves every other byte alone.
std::string ToUpperAscii(std::string_view text);

// The process-wide run mode, fixed before any window exists.
enum class RunMode : std::uint8_t { PasswordChange = 0, Preview = 1, Setup = 2, Saver = 3 };

// The run mode chosen by the upper-cased first argument: "/A", "-A" or "A..." give
// PasswordChange, "/P", "-P" or "P..." give Preview, "/C", "-C", "C..." or an empty text give
// Setup; anything else gives Saver.
RunMode ParseRunMode(std::string_view firstArgUpper);

// True when one of the arguments is exactly "--help" (letter case counts). Screen-saver hosts
// pass arguments of their own, so nothing else asks for the usage.
bool AsksForHelp(const std::vector<std::string>& arguments);

// The first and second argument, upper-cased; empty when absent.
struct StartupArgs {
  std::string first;
  std::string second;
};

// Takes the first two arguments of an argument text (as built by CommandLineFromArgv).
StartupArgs ReadStartupArgs(std::string_view commandLine);

// Converts a window handle written as an integer with StrToIntStrict; raises Error when the text
// is not a 32-bit integer.
std::int32_t ParseWindowHandle(std::string_view text);

// Where saver mode draws: a full-screen window of its own, a window the
// screen-saver host made and names, or the root window of the display.
struct SaverTarget {
  enum class Kind { OwnWindow, HostWindow, RootWindow };
  Kind kind = Kind::OwnWindow;
  std::uint64_t windowId = 0;  // HostWindow only
};

// Reads the host conventions of X11 screen-saver daemons: the arguments
// "--window-id ID" (anywhere; ID decimal or 0x hexadecimal) come first, then the
// environment's XSCREENSAVER_WINDOW (`xscreensaverWindow`, may be null) when it is
// such a number, then an argument "--root". Letter case of the switches is
// ignored. Raises Error when "--window-id" has no valid id after it.
SaverTarget FindSaverTarget(const std::vector<std::string>& args, const char* xscreensaverWindow);

// The desktop asked for by "--x11" or "--wayland" (anywhere, letter case ignored; the last one
// counts); Session when neither is there.
DesktopPreference FindDesktopPreference(const std::vector<std::string>& args);

// A window id written in decimal or, after "0x" or "0X", in hexadecimal; nothing
// when the text is anything else, zero or larger than 32 bits.
std::optional<std::uint64_t> ParseXWindowId(std::string_view text);

}  // namespace slidesaver
