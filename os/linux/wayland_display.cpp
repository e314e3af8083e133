#include "os/linux/wayland_display.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <string>

#include <layer-shell-client-protocol.h>
#include <xdg-decoration-client-protocol.h>
#include <xdg-output-client-protocol.h>
#include <xdg-shell-client-protocol.h>

#include "base/error.h"
#include "system/exit_cleanup.h"
#include "ui/app.h"

namespace slidesaver {

struct WaylandDisplay::Output {
  WaylandDisplay* owner;
  OutputState state;
  wl_output* output = nullptr;
  zxdg_output_v1* logical = nullptr;
  // Changes since the last "done", shown together when it comes.
  OutputState pending;
};

namespace {

constexpr const char* kCannotOpen = "Cannot open the Wayland display: ";

// The changes since the last "done" take effect together.
void Apply(WaylandDisplay::Output& output) {
  output.pending.described = true;
  const OutputState& a = output.state;
  const OutputState& b = output.pending;
  const bool changed = !(a.described && a.logical == b.logical && a.position == b.position &&
                         a.mode == b.mode && a.transform == b.transform && a.scale == b.scale);
  output.state = output.pending;
  if (changed && output.owner->onOutputsChanged) output.owner->onOutputsChanged();
}

const wl_output_listener kOutputListener = {
    .geometry = [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t,
                   std::int32_t, std::int32_t, const char*, const char*, std::int32_t transform) {
      auto* output = static_cast<WaylandDisplay::Output*>(data);
      output->pending.position = TPoint{x, y};
      output->pending.transform = transform;
    },
    .mode = [](void* data, wl_output*, std::uint32_t flags, std::int32_t width,
               std::int32_t height, std::int32_t) {
      if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
      static_cast<WaylandDisplay::Output*>(data)->pending.mode = TSize{width, height};
    },
    .done = [](void* data, wl_output*) { Apply(*static_cast<WaylandDisplay::Output*>(data)); },
    .scale = [](void* data, wl_output*, std::int32_t factor) {
      static_cast<WaylandDisplay::Output*>(data)->pending.scale = std::max(1, factor);
    },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

// The logical place and size come in events of their own; wl_output's "done" shows them.
const zxdg_output_v1_listener kLogicalListener = {
    .logical_position = [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
      auto* output = static_cast<WaylandDisplay::Output*>(data);
      const TRect old = output->pending.logical.value_or(TRect{});
      output->pending.logical = Bounds(x, y, old.Width(), old.Height());
    },
    .logical_size = [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
      auto* output = static_cast<WaylandDisplay::Output*>(data);
      const TRect old = output->pending.logical.value_or(TRect{});
      output->pending.logical = Bounds(old.Left, old.Top, width, height);
    },
    // Before version 3 the logical description ends with a "done" of its own.
    .done = [](void* data, zxdg_output_v1* logical) {
      if (zxdg_output_v1_get_version(logical) < 3) Apply(*static_cast<WaylandDisplay::Output*>(data));
    },
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

const xdg_wm_base_listener kWmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

template <typename T>
T* BindAs(wl_registry* registry, std::uint32_t name, const wl_interface* interface,
          std::uint32_t offered, std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

}  // namespace

WaylandDisplay::WaylandDisplay() {
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    throw Error(std::string(kCannotOpen) + "no compositor answers at " +
                (name != nullptr && *name != '\0' ? name : "wayland-0") + " (" +
                std::strerror(errno) + ")");
  }
}

void WaylandDisplay::Start() {
  static const wl_registry_listener listener = {.global = &WaylandDisplay::Global,
                                                .global_remove = &WaylandDisplay::GlobalRemove};
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &listener, this);
  Roundtrip();
  if (compositor_ == nullptr || shm_ == nullptr) {
    throw Error(std::string(kCannotOpen) + "the compositor offers no wl_compositor or wl_shm");
  }
  if (layerShell_ == nullptr && wmBase_ == nullptr) {
    throw Error(std::string(kCannotOpen) + "the compositor offers neither layer-shell nor xdg-shell");
  }
  // The outputs' descriptions, logical ones included.
  Roundtrip();
}

WaylandDisplay::~WaylandDisplay() {
  for (const auto& output : outputs_) {
    if (output->logical != nullptr) zxdg_output_v1_destroy(output->logical);
    wl_output_destroy(output->output);
  }
  if (decorations_ != nullptr) zxdg_decoration_manager_v1_destroy(decorations_);
  if (outputManager_ != nullptr) zxdg_output_manager_v1_destroy(outputManager_);
  if (wmBase_ != nullptr) xdg_wm_base_destroy(wmBase_);
  if (layerShell_ != nullptr) zwlr_layer_shell_v1_destroy(layerShell_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

void WaylandDisplay::Global(void* data, wl_registry* registry, std::uint32_t name,
                            const char* interface, std::uint32_t version) {
  auto* self = static_cast<WaylandDisplay*>(data);
  const std::string_view kind = interface;
  if (kind == wl_compositor_interface.name) {
    self->compositorVersion_ = std::min<std::uint32_t>(version, 4);
    self->compositor_ =
        BindAs<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
  } else if (kind == wl_shm_interface.name) {
    self->shm_ = BindAs<wl_shm>(registry, name, &wl_shm_interface, version, 1);
  } else if (kind == zwlr_layer_shell_v1_interface.name) {
    self->layerShell_ =
        BindAs<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 3);
  } else if (kind == xdg_wm_base_interface.name) {
    self->wmBase_ = BindAs<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2);
    xdg_wm_base_add_listener(self->wmBase_, &kWmBaseListener, self);
  } else if (kind == zxdg_output_manager_v1_interface.name) {
    self->outputManager_ = BindAs<zxdg_output_manager_v1>(
        registry, name, &zxdg_output_manager_v1_interface, version, 3);
    for (const auto& output : self->outputs_) self->WatchLogical(*output);
  } else if (kind == zxdg_decoration_manager_v1_interface.name) {
    self->decorations_ = BindAs<zxdg_decoration_manager_v1>(
        registry, name, &zxdg_decoration_manager_v1_interface, version, 1);
  } else if (kind == wl_output_interface.name) {
    self->AddOutput(name, version);
  } else if (kind == wl_seat_interface.name) {
    if (self->onSeatAdded) self->onSeatAdded(name, version);
  }
}

void WaylandDisplay::GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto* self = static_cast<WaylandDisplay*>(data);
  const auto it = std::find_if(self->outputs_.begin(), self->outputs_.end(),
                               [name](const auto& output) { return output->state.name == name; });
  if (it != self->outputs_.end()) {
    if ((*it)->logical != nullptr) zxdg_output_v1_destroy((*it)->logical);
    wl_output_destroy((*it)->output);
    self->outputs_.erase(it);
    if (self->onOutputsChanged) self->onOutputsChanged();
  }
  if (self->onGlobalRemoved) self->onGlobalRemoved(name);
}

void WaylandDisplay::AddOutput(std::uint32_t name, std::uint32_t version) {
  auto output = std::make_unique<Output>();
  output->owner = this;
  output->state.name = output->pending.name = name;
  // Scale and "done" come with version 2; name and description (unused) with 4.
  output->output = BindAs<wl_output>(registry_, name, &wl_output_interface, version, 4);
  wl_output_add_listener(output->output, &kOutputListener, output.get());
  if (outputManager_ != nullptr) WatchLogical(*output);
  outputs_.push_back(std::move(output));
}

void WaylandDisplay::WatchLogical(Output& output) {
  if (output.logical != nullptr) return;
  output.logical = zxdg_output_manager_v1_get_xdg_output(outputManager_, output.output);
  zxdg_output_v1_add_listener(output.logical, &kLogicalListener, &output);
}

std::vector<OutputState> WaylandDisplay::Outputs() const {
  std::vector<OutputState> states;
  for (const auto& output : outputs_) states.push_back(output->state);
  return states;
}

wl_output* WaylandDisplay::OutputNamed(std::uint32_t name) const {
  for (const auto& output : outputs_) {
    if (output->state.name == name) return output->output;
  }
  return nullptr;
}

void* WaylandDisplay::Bind(std::uint32_t name, const wl_interface* interface,
                           std::uint32_t version) {
  return wl_registry_bind(registry_, name, interface, version);
}

void WaylandDisplay::Flush() {
  // A full socket (EAGAIN) empties while the compositor reads; the rest goes with the next flush.
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) Lost();
}

void WaylandDisplay::Roundtrip() {
  if (wl_display_roundtrip(display_) < 0) Lost();
}

void WaylandDisplay::Pump(int timeoutMs, int wakeFd, const std::function<bool()>& ready) {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) Lost();
  }
  if (ready()) timeoutMs = 0;
  Flush();
  pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wakeFd, POLLIN, 0}};
  const int readable = poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
  if (readable > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    if (wl_display_read_events(display_) < 0) Lost();
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) Lost();
}

void WaylandDisplay::WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    Pump(static_cast<int>(left.count()), -1, done);
  }
}

void WaylandDisplay::Lost() {
  const int code = wl_display_get_error(display_);
  std::string reason = "the connection to the Wayland compositor was lost";
  if (code == EPROTO) {
    const wl_interface* interface = nullptr;
    const std::uint32_t error = wl_display_get_protocol_error(display_, &interface, nullptr);
    reason = "the Wayland compositor refused a request (" +
             std::string(interface != nullptr ? interface->name : "?") + " error " +
             std::to_string(error) + ")";
  }
  ReportToStderr(reason);
  ExitAfterCleanup(0);
}

}  // namespace slidesaver
