#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/linux/wayland_outputs.h"

struct wl_compositor;
struct wl_display;
struct wl_interface;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zxdg_decoration_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace slidesaver {

// The connection to a Wayland compositor, the globals it offers that the program uses, and its
// outputs. The connection is the one WAYLAND_SOCKET hands over, else the compositor that
// WAYLAND_DISPLAY names (wayland-0 when unset). A connection that breaks ends the process after
// its exit clean-ups, with one line on stderr.
class WaylandDisplay {
 public:
  // Connects; throws Error("Cannot open the Wayland display: <reason>").
  WaylandDisplay();
  // Learns the globals and outputs, announcing seats to onSeatAdded; throws Error as above when
  // the compositor lacks what windows need.
  void Start();
  ~WaylandDisplay();
  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  wl_display* Display() const { return display_; }
  wl_compositor* Compositor() const { return compositor_; }
  std::uint32_t CompositorVersion() const { return compositorVersion_; }
  wl_shm* Shm() const { return shm_; }
  // Each nullptr where the compositor does not offer it.
  zwlr_layer_shell_v1* LayerShell() const { return layerShell_; }
  xdg_wm_base* WmBase() const { return wmBase_; }
  zxdg_decoration_manager_v1* Decorations() const { return decorations_; }

  // The outputs in the order they were announced.
  std::vector<OutputState> Outputs() const;
  // The output the registry names `name`; nullptr when it has gone.
  wl_output* OutputNamed(std::uint32_t name) const;
  // Called when an output came, went or changed (after its "done").
  std::function<void()> onOutputsChanged;
  // Called for every seat, those there at the start included, and when one goes.
  std::function<void(std::uint32_t name, std::uint32_t version)> onSeatAdded;
  std::function<void(std::uint32_t name)> onGlobalRemoved;
  // Binds the global `name` (for seats).
  void* Bind(std::uint32_t name, const wl_interface* interface, std::uint32_t version);

  // Sends what was asked; then reads what the compositor sent, waiting at most `timeoutMs`
  // (0: not at all; -1: without limit) for it or for `wakeFd` to become readable, and calls
  // the listeners. Does not wait when `ready` says true after the events already read.
  void Pump(int timeoutMs, int wakeFd, const std::function<bool()>& ready);
  // Handles the compositor's events until `done` says true, at most `timeoutMs`.
  void WaitFor(const std::function<bool()>& done, int timeoutMs);
  // Sends what was asked.
  void Flush();
  // Waits until the compositor has answered everything asked so far.
  void Roundtrip();

 public:
  struct Output;

 private:
  static void Global(void* data, wl_registry* registry, std::uint32_t name,
                     const char* interface, std::uint32_t version);
  static void GlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
  void AddOutput(std::uint32_t name, std::uint32_t version);
  void WatchLogical(Output& output);
  [[noreturn]] void Lost();

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  std::uint32_t compositorVersion_ = 0;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zxdg_output_manager_v1* outputManager_ = nullptr;
  zxdg_decoration_manager_v1* decorations_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
};

}  // namespace slidesaver
