#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "os/linux/wayland_buffers.h"
#include "ui/app.h"

struct wl_callback;
struct wl_surface;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;
struct zxdg_toplevel_decoration_v1;

namespace slidesaver {

class WaylandDisplay;
class WaylandSeat;
class WaylandWindow;

// What the backend and its windows share.
struct WaylandDesktop {
  explicit WaylandDesktop(WaylandDisplay& display) : display(display) {}
  WaylandDisplay& display;
  std::unordered_map<wl_surface*, WaylandWindow*> windows;
  std::vector<std::unique_ptr<WaylandSeat>> seats;
  // Events of the windows, waiting for the next PollEvents.
  std::vector<InputEvent> events;
  // Windows shown since the last round of events: they get their surfaces then, once the form
  // has been placed, so that no surface is made for a place the form leaves at once.
  std::vector<WaylandWindow*> shown;
  // False once the backend has gone: windows left over do nothing.
  bool alive = true;
};

// A form's window on Wayland.
// - A borderless form whose bounds are one output's screen (wayland_outputs.h) covers that output:
//   a layer surface on the overlay layer where the compositor offers layer-shell (anchored to all
//   four edges, over panels, taking the keyboard unless SetNoActivate), else an xdg_toplevel
//   asked to be full screen on that output. Moved to another output's screen, it moves there.
// - Any other form is an xdg_toplevel of the form's size and caption that the user cannot
//   resize, with the compositor's decorations where it offers them, else a frame of its own: a
//   title bar with the caption that moves the window and a close box, and a thin border.
// - Present converts the given rectangles into a shared-memory buffer at the output's pixel size
//   (the surface's buffer scale is the output's) and commits them as damage; one commit waits
//   for the compositor's frame callback of the one before, so an output nobody sees costs no
//   commits and nothing is drawn faster than the compositor shows it.
// - A size the compositor configures that differs from the form's becomes a Resized event;
//   every configure that may have lost the picture is an Expose.
class WaylandWindow : public WindowHandle {
 public:
  WaylandWindow(std::shared_ptr<WaylandDesktop> desktop, TForm& form);
  ~WaylandWindow() override;

  TForm& Form() { return form_; }
  // The form's pixels per surface-local unit.
  std::int32_t Scale() const { return scale_; }

  void SetBounds(const TRect& bounds) override;
  void Show() override;
  void Hide() override;
  void Present(const Bitmap& surface, const std::vector<TRect>& rects) override;
  void SetCaption(const std::string& caption) override;
  void SetNoActivate() override { noActivate_ = true; }

  // Makes the surface of a window shown since the last round of events.
  void MapShown();
  // Pointer input at (x, y) in the surface's pixels: false when it falls on the form, whose
  // coordinates `e` then gets; true when the window's own frame took it (`seat` moves it).
  bool FramePointer(InputEvent& e, std::int32_t x, std::int32_t y, WaylandSeat& seat);
  // The compositor leaves the decorations to the program (or offers none).
  void DecorateSelf(bool self);
  // The compositor's answers (listeners).
  void Configure(TSize logical);
  void Closed(bool byUser);
  void FrameDone();

 private:
  void Map();
  void Unmap();
  // The surface's size in the compositor's units: the form's with its frame.
  TSize OwnSize() const;
  void SetOwnSize();
  void DrawFrame();
  void Commit();
  void Post(InputEvent e);
  // The registry name of the output whose screen the form covers; 0 when it covers none.
  std::uint32_t CoveredOutput() const;

  std::shared_ptr<WaylandDesktop> desktop_;
  TForm& form_;
  TRect bounds_{};
  std::string caption_;
  bool noActivate_ = false;
  bool shown_ = false;
  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  xdg_surface* xdgSurface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  zxdg_toplevel_decoration_v1* decoration_ = nullptr;
  wl_callback* frame_ = nullptr;
  std::uint32_t output_ = 0;  // the output covered; 0 for a toplevel of its own size
  std::int32_t scale_ = 1;
  bool configured_ = false;
  std::optional<ShmSwapChain> chain_;
  // The frame of the program's own around the form, in pixels; empty without one.
  bool decorateSelf_ = false;
  TRect insets_{};

 public:
  // A full-screen toplevel's size as its last configure suggested (0: its own choice).
  TSize suggested{};
};

}  // namespace slidesaver
