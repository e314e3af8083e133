#pragma once

#include <functional>

namespace slidesaver {

// Files of the program's own that must go even when the process cannot end
// the normal way: its display connection broke, or it did not finish closing
// within its deadline after a termination signal. Owners register a clean-up
// while the files exist and remove it once they have cleaned up themselves.
// Safe from any thread.

// Registers `cleanup`; the result names it for RemoveExitCleanup.
int AddExitCleanup(std::function<void()> cleanup);
void RemoveExitCleanup(int id);

// Runs every registered clean-up, the latest first, and ends the process at
// once with `status`, without running destructors or atexit handlers.
[[noreturn]] void ExitAfterCleanup(int status);

}  // namespace slidesaver
