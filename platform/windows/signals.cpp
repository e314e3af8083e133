#include "platform/signals.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/exit_cleanup.h"

namespace slidesaver {

// Windows has no signals; what asks a console program to end are the console's
// control events (Ctrl+C, Ctrl+Break, the console closing, log-off, shut-down).
// They arrive on a thread of the system's; the watcher keeps the deadline.
struct TerminationSignals::Impl {
  std::mutex mutex;
  std::condition_variable changed;
  std::function<void()> handler;
  int received = 0;
  int unhandled = 0;
  bool stopping = false;
  std::chrono::milliseconds deadline{0};
  std::optional<std::chrono::steady_clock::time_point> endBy;
  std::thread watcher;

  void Arrived() {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex);
      if (stopping) return;
      RequestTermination();
      ++received;
      if (!endBy && deadline.count() > 0) endBy = std::chrono::steady_clock::now() + deadline;
      if (handler) {
        call = handler;
      } else {
        ++unhandled;
      }
    }
    changed.notify_all();
    if (call) call();
  }

  void Watch() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (stopping) return;
      if (endBy) {
        if (changed.wait_until(lock, *endBy) == std::cv_status::timeout && !stopping) {
          ExitAfterCleanup(0);
        }
      } else {
        changed.wait(lock);
      }
    }
  }
};

namespace {

std::mutex g_currentMutex;
TerminationSignals::Impl* g_current = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  std::lock_guard lock(g_currentMutex);
  if (g_current == nullptr) return FALSE;
  g_current->Arrived();
  return TRUE;
}

}  // namespace

TerminationSignals::TerminationSignals() : impl_(new Impl) {
  {
    std::lock_guard lock(g_currentMutex);
    g_current = impl_;
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  impl_->watcher = std::thread([impl = impl_] { impl->Watch(); });
}

TerminationSignals::~TerminationSignals() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  {
    std::lock_guard lock(g_currentMutex);
    g_current = nullptr;
  }
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
    impl_->handler = nullptr;
  }
  impl_->changed.notify_all();
  impl_->watcher.join();
  delete impl_;
}

void TerminationSignals::SetHandler(std::function<void()> handler) {
  int pending = 0;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->handler = handler;
    if (handler) pending = std::exchange(impl_->unhandled, 0);
  }
  for (int i = 0; i < pending; ++i) handler();
}

int TerminationSignals::Received() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

void TerminationSignals::EndProcessAfter(std::chrono::milliseconds deadline) {
  std::lock_guard lock(impl_->mutex);
  impl_->deadline = deadline;
}

}  // namespace slidesaver
