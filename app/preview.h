#pragma once

#include <cstdint>
#include <string>

namespace slidesaver {

// Preview mode: draws the first picture of the payload in `executablePath`,
// stretched to the whole host window `hostWindow`, and returns when the host
// hides the window. The waits block on the window's events. The picture is
// drawn again whenever the host exposes the window, and the preview also ends
// when the id names no window or the window is destroyed. Returns at once when
// the payload trailer cannot be read; other payload failures are raised.
void RunPreview(std::int32_t hostWindow, const std::string& executablePath);

}  // namespace slidesaver
