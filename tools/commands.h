#pragma once

// The frame of a tool made of commands ("TOOL COMMAND [OPTIONS]"): each command has a name, a
// synopsis (what follows "TOOL " in the usage, continuation lines indented to line up under
// "usage: ") and notes that explain it.

#include <algorithm>
#include <string>
#include <vector>

namespace slidesaver {

inline bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

template <typename Command>
const Command* FindCommand(const std::vector<Command>& commands, const std::string& name) {
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const Command& command) { return command.name == name; });
  return found == commands.end() ? nullptr : &*found;
}

// The command an argument list names: its first argument, or the first after a leading --help.
template <typename Command>
const Command* NamedCommand(const std::vector<Command>& commands,
                            const std::vector<std::string>& args) {
  const auto named = std::find_if_not(args.begin(), args.end(), IsHelp);
  return named == args.end() ? nullptr : FindCommand(commands, *named);
}

// The usage of one command, or of all when `only` is null: the synopses first, then the notes.
template <typename Command>
std::string CommandsUsage(const std::string& tool, const std::vector<Command>& commands,
                          const Command* only) {
  std::string text, notes;
  for (const Command& command : commands) {
    if (only != nullptr && only != &command) continue;
    text += (text.empty() ? "usage: " : "       ") + tool + " " + command.synopsis;
    notes += command.notes;
  }
  if (only == nullptr) text += "       " + tool + " [COMMAND] --help\n";
  return text + notes;
}

}  // namespace slidesaver
