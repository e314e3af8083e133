#include "os/linux/x11_screens.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace slidesaver {
namespace {

// Asked through the core protocol first: the extension libraries print a warning on stderr
// when a server lacks their extension.
bool HasExtension(Display* display, const char* name) {
  int opcode = 0, eventBase = 0, errorBase = 0;
  return XQueryExtension(display, name, &opcode, &eventBase, &errorBase) != False;
}

bool Inside(const TRect& inner, const TRect& outer) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
         inner.Bottom <= outer.Bottom;
}

// RandR 1.5 monitors; none when the server is older or reports none.
std::vector<Screen> RandrMonitors(Display* display, Window root) {
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!HasExtension(display, "RANDR") || !XRRQueryExtension(display, &eventBase, &errorBase) ||
      !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5)) {
    return {};
  }
  int count = 0;
  XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
  std::vector<Screen> found;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    found.push_back(Screen{Bounds(m.x, m.y, m.width, m.height), m.primary != False});
  }
  if (monitors != nullptr) XRRFreeMonitors(monitors);
  return found;
}

// Xinerama's heads, head 0 primary; none when Xinerama is not active.
std::vector<Screen> XineramaHeads(Display* display) {
  int eventBase = 0, errorBase = 0;
  if (!HasExtension(display, "XINERAMA") ||
      !XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) {
    return {};
  }
  int count = 0;
  XineramaScreenInfo* heads = XineramaQueryScreens(display, &count);
  std::vector<Screen> found;
  for (int i = 0; i < count; ++i) {
    const XineramaScreenInfo& h = heads[i];
    found.push_back(
        Screen{Bounds(h.x_org, h.y_org, h.width, h.height), h.screen_number == 0});
  }
  if (heads != nullptr) XFree(heads);
  return found;
}

}  // namespace

std::vector<Screen> DistinctScreens(const std::vector<Screen>& monitors) {
  // A monitor is kept unless another holds it; of equal ones the first is kept.
  const auto holder = [&](std::size_t i) {
    for (std::size_t j = 0; j < monitors.size(); ++j) {
      if (j == i || monitors[j].bounds.IsEmpty()) continue;
      const bool same = monitors[j].bounds == monitors[i].bounds;
      if (Inside(monitors[i].bounds, monitors[j].bounds) && (!same || j < i)) return true;
    }
    return false;
  };
  std::vector<Screen> screens;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    if (monitors[i].bounds.IsEmpty() || holder(i)) continue;
    screens.push_back(Screen{monitors[i].bounds, false});
  }
  if (screens.empty()) return screens;
  Screen* primary = nullptr;
  for (const Screen& monitor : monitors) {
    if (!monitor.primary || monitor.bounds.IsEmpty()) continue;
    for (Screen& screen : screens) {
      if (Inside(monitor.bounds, screen.bounds)) {
        primary = &screen;
        break;
      }
    }
    if (primary != nullptr) break;
  }
  for (Screen& screen : screens) {
    if (primary == nullptr && screen.bounds.Left == 0 && screen.bounds.Top == 0) primary = &screen;
  }
  (primary != nullptr ? primary : &screens.front())->primary = true;
  return screens;
}

std::vector<Screen> X11Screens(Display* display) {
  const Window root = DefaultRootWindow(display);
  std::vector<Screen> screens = DistinctScreens(RandrMonitors(display, root));
  if (screens.empty()) screens = DistinctScreens(XineramaHeads(display));
  if (screens.empty()) {
    // The root window as it stands now (DisplayWidth keeps the size of the connection's start).
    Window rootOfRoot = 0;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    if (XGetGeometry(display, root, &rootOfRoot, &x, &y, &width, &height, &border, &depth)) {
      screens = DistinctScreens(
          {Screen{Bounds(0, 0, static_cast<int>(width), static_cast<int>(height)), true}});
    }
  }
  return screens;
}

X11Monitors::~X11Monitors() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::vector<Screen> X11Monitors::Screens() {
  if (display_ == nullptr) display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr) return {};
  return X11Screens(display_);
}

int XftDpi(const char* resources) {
  if (resources == nullptr) return 0;
  const std::string_view text(resources);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.starts_with("Xft.dpi:")) continue;
    line.remove_prefix(8);
    const std::string value(line);
    char* rest = nullptr;
    const double dpi = std::strtod(value.c_str(), &rest);
    if (rest == value.c_str() || !(dpi > 0) || dpi > 10000) return 0;
    return static_cast<int>(dpi + 0.5);
  }
  return 0;
}

int X11Monitors::ResourceDpi() {
  if (display_ == nullptr) display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr) return 0;
  return XftDpi(XResourceManagerString(display_));
}

}  // namespace slidesaver
