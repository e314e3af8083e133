#pragma once

// slidesaver-pack install and uninstall: copies a saver to the user's folder for savers and
// registers it with a screen-saver daemon, or takes both back again.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace slidesaver {

// A bad command line (unknown option, missing file): the caller shows the usage after it.
struct InstallUsageError : Error {
  using Error::Error;
};

// ---- ~/.xscreensaver as text

// One entry of the programs: resource as xscreensaver-settings lays it out (title right-aligned
// before column 31, the command from column 32, the line's end at column 76), with "\n\" after it.
std::string ProgramEntryLine(std::string_view title, std::string_view command);

// The file with the entry for `command` at the top of programs:, or, when an entry whose command
// runs the same program (the first word of `command`) is there, that entry replaced in place,
// its disabled mark kept. `only` also sets mode: one and selected: to the entry's index. An
// entry put at the top moves every other entry down one: a selected: that pointed at one of
// them is raised with it. Every other line is kept byte for byte; an empty text gives a
// minimal file.
std::string AddProgramEntry(std::string_view file, std::string_view title, std::string_view command,
                            bool only);

// The file without the programs: entries that run `program` (nothing when there are none). A
// selected: above a removed entry is lowered with the list. A selected: that pointed at the
// removed entry takes mode: and selected: from `before` (the file as it was before the entry
// was added: their lines as they were there, dropped when it had none), or, without it,
// becomes mode: random and selected: -1.
std::optional<std::string> RemoveProgramEntry(std::string_view file, std::string_view program,
                                              std::optional<std::string_view> before);

// The index in programs: of the first entry that runs `program`, if any.
std::optional<int> ProgramEntryIndex(std::string_view file, std::string_view program);

// ---- the command

// `slidesaver-pack install FILE [--for HOST] [--only]` (uninstall: `uninstall FILE [--for
// HOST]`), with `args` the words after the command. Without --for, install registers with the
// first of xscreensaver, xsecurelock, xss-lock, swayidle and hypridle that runs, else the first
// installed on PATH; uninstall looks in every place. Prints each step on `out`; returns the
// exit status. Throws InstallUsageError for a bad command line and Error when a step fails.
int InstallCommand(const std::vector<std::string>& args, bool uninstall, std::ostream& out);
int InstallCommand(const std::vector<std::string>& args, bool uninstall);

}  // namespace slidesaver
