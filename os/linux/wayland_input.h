#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "ui/app.h"

struct wl_cursor_theme;
struct wl_keyboard;
struct wl_pointer;
struct wl_seat;
struct wl_surface;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace slidesaver {

class WaylandDisplay;

// One wl_seat: its keyboard (keys read through the keymap the compositor sends, as virtual-key
// codes; no repeat) and its pointer (positions in surface-local coordinates, the cursor's look).
// Keyboards and pointers that come and go while running are followed.
class WaylandSeat {
 public:
  // A piece of input for `surface`; x and y are surface-local, in the compositor's logical units
  // (the receiver turns them into its pixels). Kind::Activate: the surface got the keyboard.
  using Deliver = std::function<void(wl_surface* surface, const InputEvent& event, double x, double y)>;

  WaylandSeat(WaylandDisplay& display, std::uint32_t name, std::uint32_t version, Deliver deliver);
  ~WaylandSeat();
  WaylandSeat(const WaylandSeat&) = delete;
  WaylandSeat& operator=(const WaylandSeat&) = delete;

  std::uint32_t Name() const { return name_; }
  wl_seat* Seat() const { return seat_; }
  // The serial of the last button press, for requests that need one (moving a window).
  std::uint32_t LastPressSerial() const { return pressSerial_; }
  // The cursor over the program's surfaces: hidden, or of this look.
  void SetCursor(bool hidden, TCursor look);
  // A surface of the program's is going: nothing is delivered for it any more.
  void Forget(wl_surface* surface);

 private:
  static void Capabilities(void* data, wl_seat* seat, std::uint32_t caps);
  void ApplyCursor();
  TShiftState Shift() const;

  WaylandDisplay& display_;
  std::uint32_t name_;
  Deliver deliver_;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* state_ = nullptr;
  wl_surface* keyboardFocus_ = nullptr;
  wl_surface* pointerFocus_ = nullptr;
  std::uint32_t enterSerial_ = 0;
  std::uint32_t pressSerial_ = 0;
  double x_ = 0, y_ = 0;
  TShiftState buttons_ = 0;
  bool cursorHidden_ = false;
  TCursor look_ = TCursor::crDefault;
  wl_cursor_theme* theme_ = nullptr;
  wl_surface* cursorSurface_ = nullptr;

  friend struct SeatListeners;
};

}  // namespace slidesaver
