#include "os/linux/wayland_backend.h"

#include <SDL.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <thread>

#include "os/linux/wayland_display.h"
#include "os/linux/wayland_input.h"
#include "os/linux/wayland_outputs.h"
#include "os/linux/wayland_window.h"
#include "ui/message_box.h"

namespace slidesaver {
namespace {

class WaylandBackend : public Backend {
 public:
  WaylandBackend() {
    display_.onOutputsChanged = [this] { screensChanged_ = true; };
    display_.onSeatAdded = [this](std::uint32_t name, std::uint32_t version) {
      desktop_->seats.push_back(std::make_unique<WaylandSeat>(
          display_, name, version,
          [this, name](wl_surface* surface, const InputEvent& e, double x, double y) {
            Deliver(name, surface, e, x, y);
          }));
      desktop_->seats.back()->SetCursor(cursorCount_ < 0, look_);
    };
    display_.onGlobalRemoved = [this](std::uint32_t name) {
      std::erase_if(desktop_->seats, [name](const auto& seat) { return seat->Name() == name; });
    };
    display_.Start();
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }

  ~WaylandBackend() override {
    std::vector<WaylandWindow*> left;
    for (const auto& [surface, window] : desktop_->windows) left.push_back(window);
    for (WaylandWindow* window : left) window->Hide();
    desktop_->alive = false;
    desktop_->seats.clear();
    display_.Flush();
    if (wakeFd_ >= 0) close(wakeFd_);
  }

  std::uint32_t TickCount() override {
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  }

  void Sleep(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  void PollEvents(std::vector<InputEvent>& out) override {
    MapShown();
    display_.Pump(0, -1, [] { return true; });
    out.insert(out.end(), desktop_->events.begin(), desktop_->events.end());
    desktop_->events.clear();
    if (std::exchange(screensChanged_, false)) {
      out.push_back(InputEvent{.kind = InputEvent::Kind::ScreensChanged});
    }
    display_.Flush();
  }

  void WaitEvents(std::uint32_t timeoutMs) override {
    MapShown();
    const auto ready = [this] { return !desktop_->events.empty() || screensChanged_; };
    if (ready()) return;
    const int timeout = timeoutMs == kInfinite || timeoutMs > static_cast<std::uint32_t>(INT_MAX)
                            ? -1
                            : static_cast<int>(timeoutMs);
    display_.Pump(timeout, wakeFd_, ready);
    std::uint64_t count = 0;
    if (read(wakeFd_, &count, sizeof count) < 0) {
      // Nothing counted: it was no Wake that ended the wait.
    }
  }

  void Wake() override {
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // The counter is full: a wake-up is pending anyway.
    }
  }

  std::unique_ptr<WindowHandle> CreateWindowHandle(TForm& form) override {
    return std::make_unique<WaylandWindow>(desktop_, form);
  }

  // The application's own box, in this process and its message loop; when no box can be shown
  // the text goes to stderr.
  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    ShowMessageFormOrReport(caption, text);
  }

  void ShowCursor(bool show) override {
    cursorCount_ += show ? 1 : -1;
    for (const auto& seat : desktop_->seats) seat->SetCursor(cursorCount_ < 0, look_);
  }

  void SetPointer(TCursor cursor) override {
    look_ = cursor;
    for (const auto& seat : desktop_->seats) seat->SetCursor(cursorCount_ < 0, look_);
  }

  // Runs the desktop's opener (xdg-open) with the text as one argument.
  void OpenURL(const std::string& url) override { SDL_OpenURL(url.c_str()); }

  TSize ScreenSize() override {
    const TRect primary = PrimaryScreenBounds(Screens());
    return TSize{primary.Width(), primary.Height()};
  }

  std::vector<Screen> Screens() override { return ScreensOfOutputs(display_.Outputs()); }

  std::int32_t PixelsPerInch() override {
    const std::vector<OutputState> outputs = display_.Outputs();
    const OutputState* primary = OutputAt(outputs, PrimaryScreenBounds(ScreensOfOutputs(outputs)));
    return 96 * (primary != nullptr ? std::max(1, primary->scale) : 1);
  }

 private:
  void MapShown() {
    for (WaylandWindow* window : std::exchange(desktop_->shown, {})) window->MapShown();
  }

  // Input of a seat for one of the windows, in the form's pixels.
  void Deliver(std::uint32_t seatName, wl_surface* surface, InputEvent e, double x, double y) {
    const auto it = desktop_->windows.find(surface);
    if (it == desktop_->windows.end()) return;
    const auto seat = std::find_if(desktop_->seats.begin(), desktop_->seats.end(),
                                   [seatName](const auto& s) { return s->Name() == seatName; });
    if (seat == desktop_->seats.end()) return;
    WaylandWindow& window = *it->second;
    const double scale = window.Scale();
    if (window.FramePointer(e, static_cast<std::int32_t>(std::floor(x * scale)),
                            static_cast<std::int32_t>(std::floor(y * scale)), **seat)) {
      return;
    }
    e.form = &window.Form();
    desktop_->events.push_back(e);
  }

  WaylandDisplay display_;
  std::shared_ptr<WaylandDesktop> desktop_ = std::make_shared<WaylandDesktop>(display_);
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int wakeFd_ = -1;
  bool screensChanged_ = false;
  int cursorCount_ = 0;
  TCursor look_ = TCursor::crDefault;
};

}  // namespace

std::unique_ptr<Backend> CreateWaylandBackend() { return std::make_unique<WaylandBackend>(); }

}  // namespace slidesaver
