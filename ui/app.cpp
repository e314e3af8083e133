#include "ui/app.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/error.h"
#include "system/debug_output.h"
#include "system/files.h"
#include "ui/controls.h"

namespace slidesaver {
namespace {
TApplication* g_application = nullptr;
}  // namespace

std::string ApplicationTitle(std::string_view executablePath) {
  // The file name as the system separates it (Windows also at "\\").
  const std::string fileName = FileNamePart(executablePath);
  std::string title = fileName.substr(0, fileName.find('.'));
  for (std::size_t i = 1; i < title.size(); ++i) {
    if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
  }
  return title;
}

void ReportToStderr(std::string_view text) {
  const std::string title = HasApplication() ? Application().Title : std::string();
  const std::string line = (title.empty() ? "slidesaver" : title) + ": " + std::string(text);
  std::fprintf(stderr, "%s\n", line.c_str());
  WriteDebuggerLine(line);
}

TApplication& Application() {
  if (g_application == nullptr) throw Error("The application has not been created");
  return *g_application;
}

bool HasApplication() { return g_application != nullptr; }

struct TApplication::HandOver {
  std::function<void()> call;
  std::exception_ptr error;
  bool done = false;
  std::mutex mutex;
  std::condition_variable finished;
};

TApplication::TApplication(std::unique_ptr<Backend> backend)
    : backend_(std::move(backend)), mainThread_(std::this_thread::get_id()) {
  if (g_application != nullptr) throw Error("An application exists already");
  g_application = this;
}

TApplication::~TApplication() {
  // A worker stopped from inside one of its own hand-overs finishes on its
  // own; it must not outlive the application it reports to.
  std::unique_lock lock(queueMutex_);
  while (liveThreads_ > 0) {
    lock.unlock();
    CheckSynchronize();
    lock.lock();
    handOverArrived_.wait(lock, [&] { return liveThreads_ == 0 || !handOvers_.empty(); });
  }
  lock.unlock();
  g_application = nullptr;
}

void TApplication::ThreadStarted() {
  std::lock_guard lock(queueMutex_);
  ++liveThreads_;
}

void TApplication::ThreadEnded() {
  std::lock_guard lock(queueMutex_);
  --liveThreads_;
  handOverArrived_.notify_all();
}

void TApplication::PostMessage(std::function<void()> call) {
  {
    std::lock_guard lock(queueMutex_);
    posted_.push_back(std::move(call));
  }
  backend_->Wake();
}

void TApplication::ProcessMessages() {
  std::vector<InputEvent> events;
  backend_->PollEvents(events);
  for (const InputEvent& e : events) {
    try {
      DispatchInput(e);
    } catch (const std::exception& ex) {
      HandleException(ex);
    }
  }
  FireDueTimers();
  CheckSynchronize();
  std::size_t count;
  {
    std::lock_guard lock(queueMutex_);
    count = posted_.size();
  }
  // Calls queued while these run (also by nested processing) wait for the next round.
  for (std::size_t i = 0; i < count; ++i) {
    std::function<void()> call;
    {
      std::lock_guard lock(queueMutex_);
      if (posted_.empty()) break;
      call = std::move(posted_.front());
      posted_.pop_front();
    }
    try {
      call();
    } catch (const std::exception& ex) {
      HandleException(ex);
    }
  }
  try {
    PaintAll();
  } catch (const std::exception& ex) {
    HandleException(ex);
  }
}

void TApplication::WaitForMessages(std::uint32_t timeoutMs) {
  {
    std::lock_guard lock(queueMutex_);
    if (!posted_.empty() || !handOvers_.empty()) return;
  }
  for (TForm* form : forms_) {
    if (form->Visible() && form->HasInvalidArea()) return;
  }
  backend_->WaitEvents(std::min(timeoutMs, MillisecondsToNextTimer()));
}

void TApplication::Run() {
  while (!terminated_) {
    ProcessMessages();
    if (terminated_) break;
    bool done = true;
    if (OnIdle) {
      try {
        OnIdle(done);
      } catch (const std::exception& ex) {
        HandleException(ex);
      }
    }
    if (done && !terminated_) WaitForMessages(Backend::kInfinite);
  }
}

void TApplication::Terminate() {
  terminated_ = true;
  backend_->Wake();
}

void TApplication::RunModal(TForm& form) {
  TForm* const previous = std::exchange(modal_, &form);
  form.Show();
  while (form.Visible() && !terminated_) {
    ProcessMessages();
    if (form.Visible() && !terminated_) WaitForMessages(Backend::kInfinite);
  }
  modal_ = previous;
}

void TApplication::HandleException(const std::exception& e) {
  if (OnException) {
    OnException(e);
    return;
  }
  std::string text = e.what();
  if (text.empty() || text.back() != '.') text += '.';
  backend_->ShowErrorBox(Title, text);
}

void TApplication::Synchronize(std::function<void()> call) {
  if (IsMainThread()) {
    call();
    return;
  }
  auto handOver = std::make_shared<HandOver>();
  handOver->call = std::move(call);
  {
    std::lock_guard lock(queueMutex_);
    handOvers_.push_back(handOver);
  }
  handOverArrived_.notify_all();
  backend_->Wake();
  std::unique_lock lock(handOver->mutex);
  handOver->finished.wait(lock, [&] { return handOver->done; });
  // Taken out of the hand-over, so that only this thread holds the failure it rethrows.
  if (handOver->error) std::rethrow_exception(std::exchange(handOver->error, nullptr));
}

bool TApplication::CheckSynchronize() {
  bool any = false;
  for (;;) {
    std::shared_ptr<HandOver> handOver;
    {
      std::lock_guard lock(queueMutex_);
      if (handOvers_.empty()) break;
      handOver = handOvers_.front();
      handOvers_.pop_front();
    }
    any = true;
    try {
      handOver->call();
    } catch (...) {
      handOver->error = std::current_exception();
    }
    {
      std::lock_guard lock(handOver->mutex);
      handOver->done = true;
    }
    handOver->finished.notify_all();
  }
  return any;
}

void TApplication::WaitForSynchronize(const std::function<bool()>& done) {
  std::unique_lock lock(queueMutex_);
  handOverArrived_.wait(lock, [&] { return !handOvers_.empty() || done(); });
}

void TApplication::WakeSynchronizeWaiters() {
  { std::lock_guard lock(queueMutex_); }
  handOverArrived_.notify_all();
}

void TApplication::AddForm(TForm* form) { forms_.push_back(form); }

void TApplication::RemoveForm(TForm* form) {
  std::erase(forms_, form);
  if (MainForm == form) MainForm = nullptr;
  if (modal_ == form) modal_ = nullptr;
}

void TApplication::AddTimer(TTimer* timer) { timers_.push_back(timer); }

void TApplication::RemoveTimer(TTimer* timer) { std::erase(timers_, timer); }

void TApplication::TimerChanged(TTimer* timer) { timer->Restart(TickCount()); }

std::uint32_t TApplication::MillisecondsToNextTimer() {
  const std::uint32_t now = TickCount();
  std::uint32_t wait = Backend::kInfinite;
  for (const TTimer* t : timers_) {
    if (!t->Enabled() || t->Interval() == 0) continue;
    const auto left = static_cast<std::int32_t>(t->Due() - now);
    wait = std::min(wait, static_cast<std::uint32_t>(std::max(left, 0)));
  }
  return wait;
}

bool TApplication::FireDueTimers() {
  const std::uint32_t now = TickCount();
  bool any = false;
  const std::vector<TTimer*> timers = timers_;
  for (TTimer* t : timers) {
    // A timer handler may destroy or disable another timer.
    if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
    if (!t->Enabled() || t->Interval() == 0) continue;
    if (static_cast<std::int32_t>(now - t->Due()) < 0) continue;
    t->Restart(now);
    any = true;
    try {
      if (t->OnTimer) t->OnTimer();
    } catch (const std::exception& ex) {
      HandleException(ex);
    }
  }
  return any;
}

TRect PrimaryScreenBounds(const std::vector<Screen>& screens) {
  for (const Screen& screen : screens) {
    if (screen.primary) return screen.bounds;
  }
  return screens.empty() ? TRect{} : screens.front().bounds;
}

void TApplication::DispatchInput(const InputEvent& e) {
  if (e.kind == InputEvent::Kind::ScreensChanged) {
    if (OnScreensChanged) OnScreensChanged();
    return;
  }
  if (std::find(forms_.begin(), forms_.end(), e.form) == forms_.end()) return;
  const bool blocked = modal_ != nullptr && e.form != modal_;
  if (blocked && e.kind != InputEvent::Kind::Close && e.kind != InputEvent::Kind::Expose) return;
  switch (e.kind) {
    case InputEvent::Kind::Close:
      e.form->Close();
      break;
    case InputEvent::Kind::Expose:
      e.form->Invalidate();
      break;
    case InputEvent::Kind::Activate:
      e.form->Activate();
      break;
    case InputEvent::Kind::Message:
      if (e.form->OnMessage) e.form->OnMessage(e.message);
      break;
    case InputEvent::Kind::Resized:
      e.form->WindowResized(e.x, e.y);
      break;
    default:
      e.form->HandleInput(e);
  }
}

void TApplication::PaintAll() {
  const std::vector<TForm*> forms = forms_;
  for (TForm* form : forms) {
    if (form->Visible() && form->HasInvalidArea()) form->PaintInvalid();
  }
}

TTimer::TTimer() {
  Application().AddTimer(this);
  Application().TimerChanged(this);
}

TTimer::~TTimer() {
  if (HasApplication()) Application().RemoveTimer(this);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) Application().TimerChanged(this);
}

void TTimer::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Application().TimerChanged(this);
}

}  // namespace slidesaver
