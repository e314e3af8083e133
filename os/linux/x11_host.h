#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "ui/app.h"
#include "ui/desktop.h"

namespace slidesaver {

// A window that another process owns (a screen-saver host's preview window or
// full-screen window), reached through plain Xlib on its own display
// connection. Nothing here ever maps, moves, resizes or destroys the window;
// it only draws into it and watches it. X errors on the window (it may vanish
// at any moment) never end the process: calls on a window that has gone do
// nothing and Query reports Gone.
class X11HostWindow : public HostWindow {
 public:
  // Connects to $DISPLAY and attaches to the window `id`, selecting structure
  // and exposure events on it. nullptr when the display cannot be opened or
  // `id` names no window.
  static std::unique_ptr<X11HostWindow> Attach(std::uint64_t id);
  // The root window of the display's default screen.
  static std::unique_ptr<X11HostWindow> AttachRoot();
  ~X11HostWindow() override;
  X11HostWindow(const X11HostWindow&) = delete;
  X11HostWindow& operator=(const X11HostWindow&) = delete;

  std::uint64_t Id() const override;
  // Asks the server now: viewable (mapped, and all its ancestors mapped), hidden, or gone.
  State Query() override;
  // The window's current size; (0, 0) when it has gone.
  TSize Size() override;
  // Copies these rectangles of `image` into the window; image pixel (x, y)
  // lands on window pixel (x, y). Any visual depth of 24 or 32 bits per pixel
  // with true colour is handled. Flushes.
  void Put(const Bitmap& image, std::span<const TRect> rects) override;
  // The events that have arrived for the window, without waiting.
  std::vector<Event> Poll() override;
  // Blocks until an event for the window arrives, Wake is called, or
  // `timeoutMs` have passed (Backend::kInfinite: no limit); returns the events.
  std::vector<Event> Wait(std::uint32_t timeoutMs) override;
  // Ends a Wait early; safe from any thread.
  void Wake() override;

 private:
  struct Impl;
  explicit X11HostWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace slidesaver
