// The backend over one window that a screen-saver host owns: the same on every
// system, since all it needs from the window system is the HostWindow.

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/app.h"
#include "ui/desktop.h"

namespace slidesaver {
namespace {

// What the backend and its form windows share; the windows only hold it
// weakly, since a form may outlive the application that created it.
struct HostState {
  std::unique_ptr<HostWindow> window;
  // Forms whose window lives, in creation order; the last one owns the host window.
  std::vector<TForm*> forms;
  TForm* Owner() const { return forms.empty() ? nullptr : forms.back(); }
};

class HostFormWindow : public WindowHandle {
 public:
  HostFormWindow(std::weak_ptr<HostState> state, TForm& form)
      : state_(std::move(state)), form_(form) {}
  ~HostFormWindow() override {
    if (auto state = state_.lock()) std::erase(state->forms, &form_);
  }
  void SetBounds(const TRect&) override {}
  void Show() override {}
  void Hide() override {}
  void Present(const Bitmap& surface, const std::vector<TRect>& rects) override {
    auto state = state_.lock();
    if (state && state->Owner() == &form_) state->window->Put(surface, rects);
  }

 private:
  std::weak_ptr<HostState> state_;
  TForm& form_;
};

class HostBackend : public Backend {
 public:
  explicit HostBackend(std::unique_ptr<HostWindow> window)
      : state_(std::make_shared<HostState>()) {
    state_->window = std::move(window);
  }

  std::uint32_t TickCount() override {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }
  void Sleep(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  void PollEvents(std::vector<InputEvent>& out) override {
    Translate(state_->window->Poll());
    out.insert(out.end(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  void WaitEvents(std::uint32_t timeoutMs) override {
    if (!pending_.empty()) return;
    Translate(state_->window->Wait(timeoutMs));
  }
  void Wake() override { state_->window->Wake(); }
  std::unique_ptr<WindowHandle> CreateWindowHandle(TForm& form) override {
    state_->forms.push_back(&form);
    return std::make_unique<HostFormWindow>(state_, form);
  }
  // Nobody can press OK in a window the host owns: the text goes to stderr.
  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void ShowCursor(bool) override {}
  TSize ScreenSize() override { return state_->window->Size(); }

 private:
  // Keeps the events that are input for the owning form; one Expose stands for
  // every exposed area of a batch, since the form repaints whole.
  void Translate(const std::vector<HostWindow::Event>& events) {
    TForm* owner = state_->Owner();
    if (owner == nullptr) return;
    bool exposed = false;
    for (const HostWindow::Event& e : events) {
      if (e.kind == HostWindow::Event::Kind::Exposed && !exposed) {
        exposed = true;
        pending_.push_back(InputEvent{.kind = InputEvent::Kind::Expose, .form = owner});
      } else if (e.kind == HostWindow::Event::Kind::Destroyed) {
        pending_.push_back(InputEvent{.kind = InputEvent::Kind::Close, .form = owner});
      }
    }
  }

  std::shared_ptr<HostState> state_;
  std::deque<InputEvent> pending_;
};

}  // namespace

std::unique_ptr<Backend> CreateHostBackend(std::unique_ptr<HostWindow> window) {
  return std::make_unique<HostBackend>(std::move(window));
}

}  // namespace slidesaver
