#include "app/cmdline.h"

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "payload/inttext.h"

namespace slidesaver {
namespace {

// Reads one character of the text; past the end or at a zero byte it reads as 0, which ends
// every scan below.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

  unsigned char Peek(std::size_t ahead = 0) const {
    const std::size_t at = pos_ + ahead;
    return at < text_.size() ? static_cast<unsigned char>(text_[at]) : 0;
  }
  void Advance(std::size_t count = 1) { pos_ += count; }
  bool AtEnd() const { return pos_ >= text_.size(); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsSeparator(unsigned char c) { return c >= 1 && c <= ' '; }

// Skips separator characters and empty "" pairs standing where an argument would begin.
void SkipSeparators(Cursor& cursor) {
  for (;;) {
    while (IsSeparator(cursor.Peek())) cursor.Advance();
    if (cursor.Peek() != '"' || cursor.Peek(1) != '"') return;
    cursor.Advance(2);
  }
}

// Reads one argument starting at a character above 32.
std::string ReadArgument(Cursor& cursor) {
  std::string argument;
  while (cursor.Peek() > ' ') {
    const unsigned char c = cursor.Peek();
    cursor.Advance();
    if (c != '"') {
      argument.push_back(static_cast<char>(c));
      continue;
    }
    while (cursor.Peek() != 0 && cursor.Peek() != '"') {
      argument.push_back(static_cast<char>(cursor.Peek()));
      cursor.Advance();
    }
    if (cursor.Peek() == '"') cursor.Advance();
  }
  return argument;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments;
  Cursor cursor(commandLine);
  for (;;) {
    SkipSeparators(cursor);
    if (cursor.AtEnd()) return arguments;
    arguments.push_back(ReadArgument(cursor));
  }
}

std::string CommandLineFromArgv(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text.push_back(' ');
    text += argv[i];
  }
  return text;
}

std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

RunMode ParseRunMode(std::string_view firstArgUpper) {
  const std::string_view head = firstArgUpper.substr(0, 2);
  const auto selects = [&](char letter) {
    const char slash[] = {'/', letter};
    const char dash[] = {'-', letter};
    return head == std::string_view(slash, 2) || head == std::string_view(dash, 2) ||
           (!firstArgUpper.empty() && firstArgUpper.front() == letter);
  };
  RunMode mode = RunMode::Saver;
  if (selects('A')) mode = RunMode::PasswordChange;
  if (selects('P')) mode = RunMode::Preview;
  if (selects('C') || firstArgUpper.empty()) mode = RunMode::Setup;
  return mode;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "--help") != arguments.end();
}

StartupArgs ReadStartupArgs(std::string_view commandLine) {
  const std::vector<std::string> arguments = SplitCommandLine(commandLine);
  StartupArgs args;
  if (arguments.size() > 0) args.first = ToUpperAscii(arguments[0]);
  if (arguments.size() > 1) args.second = ToUpperAscii(arguments[1]);
  return args;
}

std::int32_t ParseWindowHandle(std::string_view text) {
  const std::optional<std::int32_t> value = StrToIntStrict(text);
  if (!value) throw Error("'" + std::string(text) + "' is not a valid integer value");
  return *value;
}

std::optional<std::uint64_t> ParseXWindowId(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
  }
  if (value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
  return value;
}

SaverTarget FindSaverTarget(const std::vector<std::string>& args, const char* xscreensaverWindow) {
  bool root = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string flag = ToUpperAscii(args[i]);
    if (flag == "--WINDOW-ID") {
      const std::optional<std::uint64_t> id =
          i + 1 < args.size() ? ParseXWindowId(args[i + 1]) : std::nullopt;
      if (!id) throw Error("--window-id needs a window id");
      return SaverTarget{SaverTarget::Kind::HostWindow, *id};
    }
    if (flag == "--ROOT") root = true;
  }
  if (xscreensaverWindow != nullptr) {
    if (const std::optional<std::uint64_t> id = ParseXWindowId(xscreensaverWindow)) {
      return SaverTarget{SaverTarget::Kind::HostWindow, *id};
    }
  }
  return SaverTarget{root ? SaverTarget::Kind::RootWindow : SaverTarget::Kind::OwnWindow, 0};
}

DesktopPreference FindDesktopPreference(const std::vector<std::string>& args) {
  DesktopPreference preference = DesktopPreference::Session;
  for (const std::string& arg : args) {
    const std::string flag = ToUpperAscii(arg);
    if (flag == "--X11") preference = DesktopPreference::X11;
    if (flag == "--WAYLAND") preference = DesktopPreference::Wayland;
  }
  return preference;
}

}  // namespace slidesaver
