#include "app/cmdline.h"

#include <optional>

#include "payload/inttext.h"
#include "platform/error.h"

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

}  // namespace slidesaver
