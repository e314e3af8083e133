#include "os/linux/wayland_input.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wayland-cursor.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <string>

#include "os/linux/wayland_display.h"
#include "os/linux/wayland_keys.h"

namespace slidesaver {

struct SeatListeners {
  static void Keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd,
                     std::uint32_t size) {
    auto* self = static_cast<WaylandSeat*>(data);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
      close(fd);
      return;
    }
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) return;
    xkb_keymap* keymap = xkb_keymap_new_from_string(self->xkb_, static_cast<const char*>(text),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (keymap == nullptr) return;
    if (self->state_ != nullptr) xkb_state_unref(self->state_);
    if (self->keymap_ != nullptr) xkb_keymap_unref(self->keymap_);
    self->keymap_ = keymap;
    self->state_ = xkb_state_new(keymap);
  }

  static void KeyboardEnter(void* data, wl_keyboard*, std::uint32_t, wl_surface* surface,
                            wl_array*) {
    auto* self = static_cast<WaylandSeat*>(data);
    self->keyboardFocus_ = surface;
    if (surface != nullptr) {
      self->deliver_(surface, InputEvent{.kind = InputEvent::Kind::Activate}, 0, 0);
    }
  }

  static void KeyboardLeave(void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
    static_cast<WaylandSeat*>(data)->keyboardFocus_ = nullptr;
  }

  static void Key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
                  std::uint32_t state) {
    auto* self = static_cast<WaylandSeat*>(data);
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED || self->keyboardFocus_ == nullptr) return;
    std::uint32_t sym = XKB_KEY_NoSymbol;
    if (self->keymap_ != nullptr && self->state_ != nullptr) {
      // The key's symbol on the first level, as the virtual-key codes name keys unshifted.
      const xkb_keycode_t code = key + 8;
      const xkb_layout_index_t layout = xkb_state_key_get_layout(self->state_, code);
      const xkb_keysym_t* syms = nullptr;
      if (layout != XKB_LAYOUT_INVALID &&
          xkb_keymap_key_get_syms_by_level(self->keymap_, code, layout, 0, &syms) > 0) {
        sym = syms[0];
      }
    }
    self->deliver_(self->keyboardFocus_,
                   InputEvent{.kind = InputEvent::Kind::KeyDown,
                              .key = VirtualKeyOf(sym, key),
                              .shift = self->Shift()},
                   self->x_, self->y_);
  }

  static void Modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed,
                        std::uint32_t latched, std::uint32_t locked, std::uint32_t group) {
    auto* self = static_cast<WaylandSeat*>(data);
    if (self->state_ != nullptr) {
      xkb_state_update_mask(self->state_, depressed, latched, locked, 0, 0, group);
    }
  }

  static void Repeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

  static void PointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface,
                           wl_fixed_t x, wl_fixed_t y) {
    auto* self = static_cast<WaylandSeat*>(data);
    self->pointerFocus_ = surface;
    self->enterSerial_ = serial;
    self->x_ = wl_fixed_to_double(x);
    self->y_ = wl_fixed_to_double(y);
    self->ApplyCursor();
    // Where the pointer entered is the first place the surface learns, and a true one: the
    // compositor tells it with the entry.
    if (surface != nullptr) {
      self->deliver_(surface,
                     InputEvent{.kind = InputEvent::Kind::MouseMove, .shift = self->Shift()},
                     self->x_, self->y_);
    }
  }

  static void PointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface* surface) {
    auto* self = static_cast<WaylandSeat*>(data);
    self->pointerFocus_ = nullptr;
    if (surface != nullptr) {
      self->deliver_(surface, InputEvent{.kind = InputEvent::Kind::MouseLeaveWindow}, 0, 0);
    }
  }

  static void Motion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    auto* self = static_cast<WaylandSeat*>(data);
    self->x_ = wl_fixed_to_double(x);
    self->y_ = wl_fixed_to_double(y);
    if (self->pointerFocus_ == nullptr) return;
    self->deliver_(self->pointerFocus_,
                   InputEvent{.kind = InputEvent::Kind::MouseMove, .shift = self->Shift()},
                   self->x_, self->y_);
  }

  static void Button(void* data, wl_pointer*, std::uint32_t serial, std::uint32_t,
                     std::uint32_t button, std::uint32_t state) {
    auto* self = static_cast<WaylandSeat*>(data);
    TMouseButton which;
    TShiftState mask;
    if (button == BTN_LEFT) {
      which = TMouseButton::mbLeft;
      mask = ssLeft;
    } else if (button == BTN_RIGHT) {
      which = TMouseButton::mbRight;
      mask = ssRight;
    } else if (button == BTN_MIDDLE) {
      which = TMouseButton::mbMiddle;
      mask = ssMiddle;
    } else {
      return;  // the side buttons have no place in the form's input
    }
    const bool down = state == WL_POINTER_BUTTON_STATE_PRESSED;
    if (down) self->pressSerial_ = serial;
    self->buttons_ = down ? self->buttons_ | mask : self->buttons_ & ~mask;
    if (self->pointerFocus_ == nullptr) return;
    self->deliver_(self->pointerFocus_,
                   InputEvent{.kind = down ? InputEvent::Kind::MouseDown : InputEvent::Kind::MouseUp,
                              .button = which,
                              .shift = self->Shift()},
                   self->x_, self->y_);
  }
};

namespace {

const wl_keyboard_listener kKeyboardListener = {
    .keymap = &SeatListeners::Keymap,
    .enter = &SeatListeners::KeyboardEnter,
    .leave = &SeatListeners::KeyboardLeave,
    .key = &SeatListeners::Key,
    .modifiers = &SeatListeners::Modifiers,
    .repeat_info = &SeatListeners::Repeat,
};

const wl_pointer_listener kPointerListener = {
    .enter = &SeatListeners::PointerEnter,
    .leave = &SeatListeners::PointerLeave,
    .motion = &SeatListeners::Motion,
    .button = &SeatListeners::Button,
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

// Cursor images as the desktop's theme draws them (XCURSOR_THEME, XCURSOR_SIZE).
wl_cursor_theme* LoadCursorTheme(wl_shm* shm) {
  int size = 24;
  if (const char* text = std::getenv("XCURSOR_SIZE")) {
    const int asked = std::atoi(text);
    if (asked > 0 && asked <= 256) size = asked;
  }
  return wl_cursor_theme_load(std::getenv("XCURSOR_THEME"), size, shm);
}

}  // namespace

WaylandSeat::WaylandSeat(WaylandDisplay& display, std::uint32_t name, std::uint32_t version,
                         Deliver deliver)
    : display_(display), name_(name), deliver_(std::move(deliver)) {
  static const wl_seat_listener listener = {.capabilities = &WaylandSeat::Capabilities,
                                            .name = [](void*, wl_seat*, const char*) {}};
  xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  seat_ = static_cast<wl_seat*>(display.Bind(name, &wl_seat_interface, std::min(version, 5u)));
  wl_seat_add_listener(seat_, &listener, this);
}

WaylandSeat::~WaylandSeat() {
  Capabilities(this, seat_, 0);
  if (cursorSurface_ != nullptr) wl_surface_destroy(cursorSurface_);
  if (theme_ != nullptr) wl_cursor_theme_destroy(theme_);
  if (state_ != nullptr) xkb_state_unref(state_);
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  if (xkb_ != nullptr) xkb_context_unref(xkb_);
  if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION) {
    wl_seat_release(seat_);
  } else {
    wl_seat_destroy(seat_);
  }
}

void WaylandSeat::Capabilities(void* data, wl_seat* seat, std::uint32_t caps) {
  auto* self = static_cast<WaylandSeat*>(data);
  const bool release = wl_seat_get_version(seat) >= WL_KEYBOARD_RELEASE_SINCE_VERSION;
  const bool keyboard = (caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (keyboard && self->keyboard_ == nullptr) {
    self->keyboard_ = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(self->keyboard_, &kKeyboardListener, self);
  } else if (!keyboard && self->keyboard_ != nullptr) {
    release ? wl_keyboard_release(self->keyboard_) : wl_keyboard_destroy(self->keyboard_);
    self->keyboard_ = nullptr;
    self->keyboardFocus_ = nullptr;
  }
  const bool pointer = (caps & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (pointer && self->pointer_ == nullptr) {
    self->pointer_ = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(self->pointer_, &kPointerListener, self);
  } else if (!pointer && self->pointer_ != nullptr) {
    release ? wl_pointer_release(self->pointer_) : wl_pointer_destroy(self->pointer_);
    self->pointer_ = nullptr;
    self->pointerFocus_ = nullptr;
    self->buttons_ = 0;
  }
}

void WaylandSeat::SetCursor(bool hidden, TCursor look) {
  cursorHidden_ = hidden;
  look_ = look;
  ApplyCursor();
}

void WaylandSeat::Forget(wl_surface* surface) {
  if (keyboardFocus_ == surface) keyboardFocus_ = nullptr;
  if (pointerFocus_ == surface) pointerFocus_ = nullptr;
}

void WaylandSeat::ApplyCursor() {
  if (pointer_ == nullptr || pointerFocus_ == nullptr) return;
  if (cursorHidden_) {
    wl_pointer_set_cursor(pointer_, enterSerial_, nullptr, 0, 0);
    return;
  }
  if (theme_ == nullptr) theme_ = LoadCursorTheme(display_.Shm());
  if (theme_ == nullptr) return;  // no theme: the compositor's cursor stays
  static constexpr const char* kHand[] = {"pointer", "hand2", "hand1", "left_ptr", "default"};
  static constexpr const char* kArrow[] = {"left_ptr", "default"};
  wl_cursor* cursor = nullptr;
  for (const char* name : look_ == TCursor::crHandPoint ? std::span<const char* const>(kHand)
                                                         : std::span<const char* const>(kArrow)) {
    cursor = wl_cursor_theme_get_cursor(theme_, name);
    if (cursor != nullptr) break;
  }
  if (cursor == nullptr || cursor->image_count == 0) return;
  wl_cursor_image* image = cursor->images[0];
  wl_buffer* buffer = wl_cursor_image_get_buffer(image);
  if (buffer == nullptr) return;
  if (cursorSurface_ == nullptr) cursorSurface_ = wl_compositor_create_surface(display_.Compositor());
  wl_pointer_set_cursor(pointer_, enterSerial_, cursorSurface_,
                        static_cast<std::int32_t>(image->hotspot_x),
                        static_cast<std::int32_t>(image->hotspot_y));
  wl_surface_attach(cursorSurface_, buffer, 0, 0);
  wl_surface_damage(cursorSurface_, 0, 0, static_cast<std::int32_t>(image->width),
                    static_cast<std::int32_t>(image->height));
  wl_surface_commit(cursorSurface_);
}

TShiftState WaylandSeat::Shift() const {
  TShiftState shift = buttons_;
  if (state_ != nullptr) {
    const auto active = [this](const char* name) {
      return xkb_state_mod_name_is_active(state_, name, XKB_STATE_MODS_EFFECTIVE) > 0;
    };
    if (active(XKB_MOD_NAME_SHIFT)) shift |= ssShift;
    if (active(XKB_MOD_NAME_ALT)) shift |= ssAlt;
    if (active(XKB_MOD_NAME_CTRL)) shift |= ssCtrl;
  }
  return shift;
}

}  // namespace slidesaver
