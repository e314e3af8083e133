#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/app.h"
#include "platform/bitmap.h"
#include "platform/geometry.h"

namespace slidesaver {

// A window that another process owns (a screen-saver host's preview window or
// full-screen window), reached through plain Xlib on its own display
// connection. Nothing here ever maps, moves, resizes or destroys the window;
// it only draws into it and watches it. X errors on the window (it may vanish
// at any moment) never end the process: calls on a window that has gone do
// nothing and Query reports Gone.
class X11HostWindow {
 public:
  enum class State { Viewable, Hidden, Gone };
  struct Event {
    enum class Kind { Exposed, Mapped, Unmapped, Destroyed, Resized };
    Kind kind;
    TRect area;  // Exposed: the part to repaint; Resized: (0, 0, new width, new height)
  };

  // Connects to $DISPLAY and attaches to the window `id`, selecting structure
  // and exposure events on it. nullptr when the display cannot be opened or
  // `id` names no window.
  static std::unique_ptr<X11HostWindow> Attach(std::uint64_t id);
  // The root window of the display's default screen.
  static std::unique_ptr<X11HostWindow> AttachRoot();
  ~X11HostWindow();
  X11HostWindow(const X11HostWindow&) = delete;
  X11HostWindow& operator=(const X11HostWindow&) = delete;

  std::uint64_t Id() const;
  // Asks the server now: viewable (mapped, and all its ancestors mapped), hidden, or gone.
  State Query();
  // The window's current size; (0, 0) when it has gone.
  TSize Size();
  // Copies these rectangles of `image` into the window; image pixel (x, y)
  // lands on window pixel (x, y). Any visual depth of 24 or 32 bits per pixel
  // with true colour is handled. Flushes.
  void Put(const Bitmap& image, std::span<const TRect> rects);
  // The events that have arrived for the window, without waiting.
  std::vector<Event> Poll();
  // Blocks until an event for the window arrives, Wake is called, or
  // `timeoutMs` have passed (Backend::kInfinite: no limit); returns the events.
  std::vector<Event> Wait(std::uint32_t timeoutMs);
  // Ends a Wait early; safe from any thread.
  void Wake();

 private:
  struct Impl;
  explicit X11HostWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// A backend whose one form window is the host window: ScreenSize is the host
// window's size; the form's window draws into the host window (SetBounds,
// Show, Hide and SetTopmost change nothing of it); Exposed becomes an Expose
// event and Destroyed a Close event of the form shown there. No keyboard or
// mouse input is taken: closing is left to the host. TickCount is a monotonic
// millisecond clock; WaitEvents blocks on the display connection; the text of
// a message box goes to stderr (nobody could dismiss a box in a window the
// host owns); the cursor calls do nothing.
std::unique_ptr<Backend> CreateX11HostBackend(std::unique_ptr<X11HostWindow> window);

}  // namespace slidesaver
