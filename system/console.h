#pragma once

// What a command-line program needs of the system's console.

#include <string>
#include <vector>

namespace slidesaver {

// The program's arguments after its own name, in UTF-8. On Windows they are read from the
// UTF-16 command line, since `argv` holds only what the ANSI code page can.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Whether standard error is a terminal (a console), where progress lines may be rewritten.
bool StandardErrorIsTerminal();

}  // namespace slidesaver
