#include "ui/headless.h"

#include <utility>

#include "graphics/canvas.h"
#include "ui/controls.h"

namespace slidesaver {

class HeadlessWindow : public WindowHandle {
 public:
  explicit HeadlessWindow(HeadlessBackend& backend) : backend_(backend) {}
  void SetBounds(const TRect&) override {}
  void Show() override {}
  void Hide() override {}
  void GrabInput() override { ++backend_.inputGrabs_; }
  void Present(const Bitmap& surface, const std::vector<TRect>& rects) override {
    if (shown_.Width() != surface.Width() || shown_.Height() != surface.Height()) {
      shown_.Resize(surface.Width(), surface.Height(), 0);
    }
    for (const TRect& r : rects) StretchCopy(shown_, r, surface, r);
    std::lock_guard lock(backend_.mutex_);
    backend_.presented_.insert(backend_.presented_.end(), rects.begin(), rects.end());
  }
  const Bitmap& Shown() const { return shown_; }

 private:
  HeadlessBackend& backend_;
  Bitmap shown_;
};

std::vector<Screen> HeadlessBackend::Screens() {
  if (screens_.empty()) return Backend::Screens();
  return screens_;
}

void HeadlessBackend::SetScreens(std::vector<Screen> screens) {
  screens_ = std::move(screens);
  const TRect primary = PrimaryScreenBounds(screens_);
  screen_ = TSize{primary.Width(), primary.Height()};
  PushInput(InputEvent{.kind = InputEvent::Kind::ScreensChanged});
}

void HeadlessBackend::PollEvents(std::vector<InputEvent>& out) {
  std::lock_guard lock(mutex_);
  out.insert(out.end(), input_.begin(), input_.end());
  input_.clear();
}

void HeadlessBackend::WaitEvents(std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!woken_ && input_.empty()) {
    if (timeoutMs == kInfinite) {
      wakeUp_.wait(lock, [&] { return woken_ || !input_.empty(); });
    } else {
      clock_ += timeoutMs;
    }
  }
  woken_ = false;
}

void HeadlessBackend::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wakeUp_.notify_all();
}

const Bitmap* HeadlessBackend::Shown(TForm& form) {
  const auto* window = dynamic_cast<const HeadlessWindow*>(form.Handle());
  return window != nullptr ? &window->Shown() : nullptr;
}

std::unique_ptr<WindowHandle> HeadlessBackend::CreateWindowHandle(TForm&) {
  return std::make_unique<HeadlessWindow>(*this);
}

void HeadlessBackend::ShowErrorBox(const std::string& caption, const std::string& text) {
  std::lock_guard lock(mutex_);
  errorBoxes_.emplace_back(caption, text);
}

void HeadlessBackend::PushInput(const InputEvent& e) {
  {
    std::lock_guard lock(mutex_);
    input_.push_back(e);
  }
  wakeUp_.notify_all();
}

std::vector<std::pair<std::string, std::string>> HeadlessBackend::ErrorBoxes() const {
  std::lock_guard lock(mutex_);
  return errorBoxes_;
}

std::vector<TRect> HeadlessBackend::Presented() const {
  std::lock_guard lock(mutex_);
  return presented_;
}

void HeadlessBackend::ClearPresented() {
  std::lock_guard lock(mutex_);
  presented_.clear();
}

}  // namespace slidesaver
