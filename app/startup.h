#pragma once

namespace slidesaver {

// The program's start-up: reads the run mode from the arguments, runs the password change,
// enforces a single instance per executable file name and starts the mode's work. Every failure
// is swallowed; the result is always 0, the process's exit status.
int RunStartup(int argc, char** argv);

}  // namespace slidesaver
