#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "ui/app.h"

namespace slidesaver {

// A window that another process owns (a screen-saver host's preview window or
// full-screen window). Nothing here ever shows, moves, resizes or destroys it;
// the program only draws into it and watches it. The window may vanish at any
// moment: calls on a window that has gone do nothing and Query reports Gone.
class HostWindow {
 public:
  enum class State { Viewable, Hidden, Gone };
  struct Event {
    enum class Kind { Exposed, Mapped, Unmapped, Destroyed, Resized };
    Kind kind;
    TRect area;  // Exposed: the part to repaint; Resized: (0, 0, new width, new height)
  };

  virtual ~HostWindow() = default;
  virtual std::uint64_t Id() const = 0;
  // Asks the window system now: viewable (shown, with all its ancestors), hidden, or gone.
  virtual State Query() = 0;
  // The window's current size; (0, 0) when it has gone.
  virtual TSize Size() = 0;
  // Copies these rectangles of `image` into the window; image pixel (x, y)
  // lands on window pixel (x, y).
  virtual void Put(const Bitmap& image, std::span<const TRect> rects) = 0;
  // The events that have arrived for the window, without waiting.
  virtual std::vector<Event> Poll() = 0;
  // Blocks until an event for the window arrives, Wake is called, or
  // `timeoutMs` have passed (Backend::kInfinite: no limit); returns the events.
  virtual std::vector<Event> Wait(std::uint32_t timeoutMs) = 0;
  // Ends a Wait early; safe from any thread.
  virtual void Wake() = 0;
};

// The desktop the program runs on.

// Where the system has more than one kind of desktop (Linux: X11, and Wayland natively), the one
// the program's own windows go to: the session's (Wayland where the session names a compositor,
// else X11) or the one asked for. Set before DisplayName or CreateDesktopBackend.
enum class DesktopPreference { Session, X11, Wayland };
void SetDesktopPreference(DesktopPreference preference);

// Real top-level windows of the program's own, on the preferred desktop; when the session's
// Wayland compositor cannot be reached, on X11 where there is an X display.
std::unique_ptr<Backend> CreateDesktopBackend();
// The window `id` of another process; nullptr when it does not exist or the
// window system cannot be reached.
std::unique_ptr<HostWindow> AttachHostWindow(std::uint64_t id);
// The desktop's root window, where the desktop has one to draw on; nullptr otherwise.
std::unique_ptr<HostWindow> AttachRootWindow();
// A backend whose one form window is the host window: ScreenSize is the host
// window's size; the form draws into it; Exposed becomes an Expose event and
// Destroyed a Close event of the form shown there. No keyboard or mouse input
// is taken: closing is left to the host. The text of a message box goes to
// stderr, since nobody could dismiss a box there.
std::unique_ptr<Backend> CreateHostBackend(std::unique_ptr<HostWindow> window);
// The name of the display the program shows on, for instance names: one
// program per file name runs per display (the X display, or the Wayland
// compositor's socket when the program's windows go there). Empty where there is
// only one.
std::string DisplayName();
// The text of the arguments the program was started with, without the program's
// own name: on Linux argv[1..] joined with single spaces; on Windows the system's
// command line after its first argument (which may be quoted), untouched, since
// hosts there hand over one text, not a list.
std::string ProgramArguments(int argc, char** argv);
// Makes the process ready before any thread starts: a broken pipe or a file
// that cannot grow is an error to report, never the end of the program.
void PrepareProcess();

}  // namespace slidesaver
