#pragma once

#include <cstdint>
#include <string>

namespace slidesaver {

class TerminationSignals;

// Preview mode: draws the first picture of the payload in `executablePath`,
// stretched to the whole host window `hostWindow`, and returns when the host
// hides the window. The waits block on the window's events. The picture is
// drawn again whenever the host exposes the window, and the preview also ends
// when the id names no window, the window is destroyed or a termination signal
// of `signals` (when given) arrives. Raises Error when the id names no window or
// the payload cannot be read.
void RunPreview(std::int32_t hostWindow, const std::string& executablePath,
                TerminationSignals* signals = nullptr);

}  // namespace slidesaver
