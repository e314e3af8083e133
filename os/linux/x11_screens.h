#pragma once

// The monitors of an X display, in root-window coordinates.

#include <vector>

#include "ui/app.h"

struct _XDisplay;

namespace slidesaver {

// RandR 1.5 monitors (the active ones) when the server has RandR 1.5 or later
// and reports at least one; else the Xinerama heads when Xinerama is active;
// else the whole root window. The primary one: RandR's primary flag, else the
// monitor at 0,0, else the first; of Xinerama heads, head 0. Empty only when
// the display tells nothing at all.
std::vector<Screen> X11Screens(_XDisplay* display);

// `monitors` as screens: a monitor that lies entirely inside another (a mirrored
// output) is no screen of its own, and an empty one is none at all; the
// screen that holds a primary monitor is primary. When none is flagged, the
// one at 0,0 is primary, else the first.
std::vector<Screen> DistinctScreens(const std::vector<Screen>& monitors);

// The value of "Xft.dpi" in a resource text as XResourceManagerString gives
// it ("Xft.dpi:\t144\n..."), rounded; 0 when it is missing or no number > 0.
int XftDpi(const char* resources);

// X11Screens of the display that DISPLAY names, through a connection of its
// own, opened at the first question and kept for the next ones.
class X11Monitors {
 public:
  X11Monitors() = default;
  ~X11Monitors();
  X11Monitors(const X11Monitors&) = delete;
  X11Monitors& operator=(const X11Monitors&) = delete;

  // Empty when the display cannot be opened.
  std::vector<Screen> Screens();
  // Xft.dpi of the display's resources, as desktops set it for their scale;
  // 0 when it is not set (or the display cannot be opened).
  int ResourceDpi();

 private:
  _XDisplay* display_ = nullptr;
};

}  // namespace slidesaver
