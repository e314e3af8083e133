#pragma once

#include <string_view>

namespace slidesaver {

// Hands one line of a report to the debugger's output of the system, where a
// GUI program's stderr goes nowhere (Windows: OutputDebugString, which a
// debugger or a debug-output viewer shows); nothing elsewhere.
void WriteDebuggerLine(std::string_view line);

}  // namespace slidesaver
