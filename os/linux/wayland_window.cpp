#include "os/linux/wayland_window.h"

#include <wayland-client.h>

#include <algorithm>

#include <layer-shell-client-protocol.h>
#include <xdg-decoration-client-protocol.h>
#include <xdg-shell-client-protocol.h>

#include "os/linux/wayland_display.h"
#include "os/linux/wayland_input.h"
#include "os/linux/wayland_outputs.h"
#include "graphics/canvas.h"
#include "graphics/text.h"
#include "ui/controls.h"

namespace slidesaver {
namespace {

constexpr const char* kAppId = "slidesaver";
// How long a picture waits for the compositor to let go of a buffer before it takes another one.
constexpr int kReleasePatienceMs = 100;

WaylandWindow* Of(void* data) { return static_cast<WaylandWindow*>(data); }

const zwlr_layer_surface_v1_listener kLayerListener = {
    .configure = [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                    std::uint32_t width, std::uint32_t height) {
      zwlr_layer_surface_v1_ack_configure(layer, serial);
      Of(data)->Configure(TSize{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)});
    },
    .closed = [](void* data, zwlr_layer_surface_v1*) { Of(data)->Closed(false); },
};

const xdg_surface_listener kXdgSurfaceListener = {
    .configure = [](void* data, xdg_surface* surface, std::uint32_t serial) {
      xdg_surface_ack_configure(surface, serial);
      Of(data)->Configure(Of(data)->suggested);
    },
};

const xdg_toplevel_listener kToplevelListener = {
    .configure = [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height,
                    wl_array*) { Of(data)->suggested = TSize{width, height}; },
    .close = [](void* data, xdg_toplevel*) { Of(data)->Closed(true); },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

const zxdg_toplevel_decoration_v1_listener kDecorationListener = {
    .configure = [](void* data, zxdg_toplevel_decoration_v1*, std::uint32_t mode) {
      Of(data)->DecorateSelf(mode == ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
    },
};

// The frame of the program's own, at scale 1: border, title bar, close box.
constexpr std::int32_t kBorder = 1;
constexpr std::int32_t kTitleHeight = 24;
constexpr TColor kFrameColor = 0x3C3C3C;
constexpr TColor kTitleTextColor = 0xF0F0F0;

const wl_callback_listener kFrameListener = {
    .done = [](void* data, wl_callback*, std::uint32_t) { Of(data)->FrameDone(); },
};

std::int32_t RoundUp(std::int32_t value, std::int32_t step) {
  return (std::max(1, value) + step - 1) / step * step;
}

}  // namespace

WaylandWindow::WaylandWindow(std::shared_ptr<WaylandDesktop> desktop, TForm& form)
    : desktop_(std::move(desktop)), form_(form) {}

WaylandWindow::~WaylandWindow() {
  std::erase(desktop_->shown, this);
  Unmap();
}

std::uint32_t WaylandWindow::CoveredOutput() const {
  if (form_.BorderStyle != TFormBorderStyle::bsNone) return 0;
  const std::vector<OutputState> outputs = desktop_->display.Outputs();
  const OutputState* output = OutputAt(outputs, bounds_);
  return output != nullptr ? output->name : 0;
}

void WaylandWindow::SetBounds(const TRect& bounds) {
  const TRect old = bounds_;
  bounds_ = bounds;
  if (!desktop_->alive) return;
  if (surface_ == nullptr) {
    // A shown window whose surface the compositor took away (its output went) goes to its new
    // place with the next round of events.
    if (shown_ && std::find(desktop_->shown.begin(), desktop_->shown.end(), this) ==
                      desktop_->shown.end()) {
      desktop_->shown.push_back(this);
    }
    return;
  }
  if (CoveredOutput() != output_) {
    // Another output (or none): the window goes there anew.
    Unmap();
    Map();
    return;
  }
  if (output_ == 0) {
    if (bounds_.Width() != old.Width() || bounds_.Height() != old.Height()) {
      SetOwnSize();
      if (configured_) Configure(TSize{});
    }
  } else if (chain_ && (chain_->Size().cx != bounds_.Width() || chain_->Size().cy != bounds_.Height())) {
    // The compositor decides a cover's size: the form learns it back.
    Post(InputEvent{.kind = InputEvent::Kind::Resized, .x = chain_->Size().cx, .y = chain_->Size().cy});
  }
}

void WaylandWindow::Show() {
  shown_ = true;
  if (surface_ == nullptr && desktop_->alive) desktop_->shown.push_back(this);
}

void WaylandWindow::MapShown() {
  if (shown_ && surface_ == nullptr && desktop_->alive) Map();
}

void WaylandWindow::Hide() {
  shown_ = false;
  Unmap();
}

void WaylandWindow::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (toplevel_ != nullptr) xdg_toplevel_set_title(toplevel_, caption_.c_str());
}

void WaylandWindow::Map() {
  WaylandDisplay& display = desktop_->display;
  output_ = CoveredOutput();
  wl_output* output = output_ != 0 ? display.OutputNamed(output_) : nullptr;
  if (output == nullptr) output_ = 0;
  // A cover is drawn at its output's scale; a window of its own size at the primary output's,
  // at which the program measures its layout (PixelsPerInch).
  const std::vector<OutputState> outputs = display.Outputs();
  const OutputState* measure =
      output_ != 0 ? OutputAt(outputs, bounds_)
                   : OutputAt(outputs, PrimaryScreenBounds(ScreensOfOutputs(outputs)));
  scale_ = measure != nullptr ? std::max(1, measure->scale) : 1;
  surface_ = wl_compositor_create_surface(display.Compositor());
  desktop_->windows[surface_] = this;
  if (display.CompositorVersion() >= 3) wl_surface_set_buffer_scale(surface_, scale_);
  configured_ = false;
  suggested = TSize{};
  if (output_ != 0 && display.LayerShell() != nullptr) {
    layer_ = zwlr_layer_shell_v1_get_layer_surface(display.LayerShell(), surface_, output,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kAppId);
    zwlr_layer_surface_v1_add_listener(layer_, &kLayerListener, this);
    zwlr_layer_surface_v1_set_anchor(
        layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(layer_, 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer_, noActivate_ ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                            : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
  } else {
    xdgSurface_ = xdg_wm_base_get_xdg_surface(display.WmBase(), surface_);
    xdg_surface_add_listener(xdgSurface_, &kXdgSurfaceListener, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &kToplevelListener, this);
    xdg_toplevel_set_title(toplevel_, caption_.c_str());
    xdg_toplevel_set_app_id(toplevel_, kAppId);
    if (output_ != 0) {
      xdg_toplevel_set_fullscreen(toplevel_, output);
    } else {
      // Decorations of the program's own until the compositor says it draws them.
      DecorateSelf(true);
      if (display.Decorations() != nullptr) {
        decoration_ = zxdg_decoration_manager_v1_get_toplevel_decoration(display.Decorations(),
                                                                        toplevel_);
        zxdg_toplevel_decoration_v1_add_listener(decoration_, &kDecorationListener, this);
        zxdg_toplevel_decoration_v1_set_mode(decoration_,
                                             ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
      }
    }
  }
  // The first commit, without a buffer, asks for the first configure.
  wl_surface_commit(surface_);
}

void WaylandWindow::Unmap() {
  if (surface_ == nullptr || !desktop_->alive) return;
  for (const auto& seat : desktop_->seats) seat->Forget(surface_);
  desktop_->windows.erase(surface_);
  if (frame_ != nullptr) wl_callback_destroy(frame_);
  frame_ = nullptr;
  if (decoration_ != nullptr) zxdg_toplevel_decoration_v1_destroy(decoration_);
  if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
  if (xdgSurface_ != nullptr) xdg_surface_destroy(xdgSurface_);
  if (layer_ != nullptr) zwlr_layer_surface_v1_destroy(layer_);
  decoration_ = nullptr;
  toplevel_ = nullptr;
  xdgSurface_ = nullptr;
  layer_ = nullptr;
  wl_surface_destroy(surface_);
  surface_ = nullptr;
  chain_.reset();
  configured_ = false;
}

TSize WaylandWindow::OwnSize() const {
  return TSize{RoundUp(bounds_.Width() + insets_.Left + insets_.Right, scale_) / scale_,
               RoundUp(bounds_.Height() + insets_.Top + insets_.Bottom, scale_) / scale_};
}

void WaylandWindow::SetOwnSize() {
  const TSize size = OwnSize();
  xdg_toplevel_set_min_size(toplevel_, size.cx, size.cy);
  xdg_toplevel_set_max_size(toplevel_, size.cx, size.cy);
}

void WaylandWindow::DecorateSelf(bool self) {
  if (toplevel_ == nullptr || output_ != 0) return;
  decorateSelf_ = self;
  const std::int32_t border = kBorder * scale_;
  insets_ = self ? TRect{border, border + kTitleHeight * scale_, border, border} : TRect{};
  SetOwnSize();
}

void WaylandWindow::Configure(TSize logical) {
  if (output_ == 0 || logical.cx <= 0 || logical.cy <= 0) {
    // The client's choice: the form's own size, with its frame.
    logical = OwnSize();
  }
  const TSize pixels{logical.cx * scale_, logical.cy * scale_};
  const bool fresh = !configured_ || !chain_ || chain_->Size() != pixels;
  configured_ = true;
  if (!fresh) return;
  chain_.emplace(desktop_->display.Shm(), pixels);
  if (output_ != 0 && (pixels.cx != bounds_.Width() || pixels.cy != bounds_.Height())) {
    Post(InputEvent{.kind = InputEvent::Kind::Resized, .x = pixels.cx, .y = pixels.cy});
  }
  if (decorateSelf_) DrawFrame();
  // New buffers hold nothing yet: the form paints all of itself again.
  Post(InputEvent{.kind = InputEvent::Kind::Expose});
}

void WaylandWindow::DrawFrame() {
  const TSize size = chain_->Size();
  Bitmap frame(size.cx, size.cy);
  TCanvas canvas(frame);
  canvas.SetBrushColor(kFrameColor);
  canvas.FillRect({0, 0, size.cx, size.cy});
  TTextFont font;
  font.Name = "Sans";
  font.Size = 10;
  font.PixelsPerInch = 96 * scale_;
  font.Color = kTitleTextColor;
  font.Bold = true;
  const std::int32_t title = kTitleHeight * scale_;
  const std::int32_t textHeight = MeasureText(font, "X").cy;
  const TRect titleBar{insets_.Left, insets_.Left, size.cx - insets_.Right, insets_.Top};
  const TRect closeBox{titleBar.Right - title, titleBar.Top, titleBar.Right, titleBar.Bottom};
  const Region titleClip = Region::FromRect({titleBar.Left, titleBar.Top, closeBox.Left, titleBar.Bottom});
  DrawText(frame, titleBar.Left + 8 * scale_, titleBar.Top + (title - textHeight) / 2, font,
           caption_, &titleClip);
  // The close box: a cross of two thick diagonals.
  const std::int32_t inset = title / 3;
  for (std::int32_t i = 0; i + 2 * inset < title; ++i) {
    for (std::int32_t t = 0; t < std::max(2, scale_ * 2); ++t) {
      const std::int32_t y = closeBox.Top + inset + i;
      canvas.SetBrushColor(kTitleTextColor);
      canvas.FillRect(Bounds(closeBox.Left + inset + i + t - 1, y, 1, 1));
      canvas.FillRect(Bounds(closeBox.Right - inset - i - t, y, 1, 1));
    }
  }
  ShmBuffer& back = *chain_->Back();
  const TRect parts[] = {{0, 0, size.cx, insets_.Top},
                         {0, insets_.Top, insets_.Left, size.cy},
                         {size.cx - insets_.Right, insets_.Top, size.cx, size.cy},
                         {insets_.Left, size.cy - insets_.Bottom, size.cx - insets_.Right, size.cy}};
  for (const TRect& part : parts) {
    if (part.IsEmpty()) continue;
    back.Convert(frame, part, {part.Left, part.Top});
    chain_->Drew(part);
  }
}

bool WaylandWindow::FramePointer(InputEvent& e, std::int32_t x, std::int32_t y, WaylandSeat& seat) {
  e.x = x - insets_.Left;
  e.y = y - insets_.Top;
  if (!decorateSelf_ || e.kind == InputEvent::Kind::KeyDown ||
      e.kind == InputEvent::Kind::Activate || e.kind == InputEvent::Kind::MouseLeaveWindow) {
    return false;
  }
  const TRect form = Bounds(insets_.Left, insets_.Top, bounds_.Width(), bounds_.Height());
  if (form.Contains(x, y)) return false;
  if (e.kind == InputEvent::Kind::MouseDown && e.button == TMouseButton::mbLeft && chain_) {
    const std::int32_t closeLeft = chain_->Size().cx - insets_.Right - kTitleHeight * scale_;
    if (x >= closeLeft && y < insets_.Top) {
      Post(InputEvent{.kind = InputEvent::Kind::Close});
    } else if (y < insets_.Top) {
      xdg_toplevel_move(toplevel_, seat.Seat(), seat.LastPressSerial());
    }
  }
  return true;
}

void WaylandWindow::Closed(bool byUser) {
  if (byUser) {
    Post(InputEvent{.kind = InputEvent::Kind::Close});
    return;
  }
  // The compositor took the surface away (its output went): it stays unmapped until the form
  // is placed or shown again.
  Unmap();
}

void WaylandWindow::Present(const Bitmap& surface, const std::vector<TRect>& rects) {
  if (!configured_ || !chain_ || !desktop_->alive) return;
  if (!chain_->HasFree()) {
    // The compositor still shows both buffers: the next one is drawn once it lets go of one,
    // which paces the show to the compositor; a third buffer only when it keeps both too long.
    desktop_->display.WaitFor([this] { return !chain_ || chain_->HasFree(); }, kReleasePatienceMs);
    if (!configured_ || !chain_) return;
  }
  ShmBuffer& back = *chain_->Back();
  const TRect limit{0, 0, std::min(surface.Width(), chain_->Size().cx - insets_.Left - insets_.Right),
                    std::min(surface.Height(), chain_->Size().cy - insets_.Top - insets_.Bottom)};
  for (const TRect& rect : rects) {
    const TRect part = IntersectRect(rect, limit);
    if (part.IsEmpty()) continue;
    const TPoint at{part.Left + insets_.Left, part.Top + insets_.Top};
    back.Convert(surface, part, at);
    chain_->Drew(Bounds(at.X, at.Y, part.Width(), part.Height()));
  }
  if (frame_ == nullptr) Commit();
}

void WaylandWindow::Commit() {
  if (surface_ == nullptr || !chain_ || !chain_->HasDrawing()) return;
  std::vector<TRect> damage;
  ShmBuffer& buffer = chain_->Submit(damage);
  wl_surface_attach(surface_, buffer.Buffer(), 0, 0);
  const bool inBufferPixels = desktop_->display.CompositorVersion() >= 4;
  for (const TRect& d : damage) {
    if (inBufferPixels) {
      wl_surface_damage_buffer(surface_, d.Left, d.Top, d.Width(), d.Height());
    } else {
      const std::int32_t left = d.Left / scale_, top = d.Top / scale_;
      wl_surface_damage(surface_, left, top, (d.Right + scale_ - 1) / scale_ - left,
                        (d.Bottom + scale_ - 1) / scale_ - top);
    }
  }
  frame_ = wl_surface_frame(surface_);
  wl_callback_add_listener(frame_, &kFrameListener, this);
  wl_surface_commit(surface_);
}

void WaylandWindow::FrameDone() {
  wl_callback_destroy(frame_);
  frame_ = nullptr;
  Commit();
}

void WaylandWindow::Post(InputEvent e) {
  e.form = &form_;
  desktop_->events.push_back(e);
}

}  // namespace slidesaver
