#include "platform/signals.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/exit_cleanup.h"
#include "platform/termination_state.h"

namespace slidesaver {

// Windows has no signals; what asks a console program to end are the console's
// control events (Ctrl+C, Ctrl+Break, the console closing, log-off, shut-down).
// They arrive on a thread of the system's; the watcher keeps the deadline.
struct TerminationSignals::Impl : TerminationState {
  std::condition_variable changed;
  std::thread watcher;

  void Arrived() {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex);
      call = ArrivedLocked();
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
  impl_->Stop();
  impl_->changed.notify_all();
  impl_->watcher.join();
  delete impl_;
}

void TerminationSignals::SetHandler(std::function<void()> handler) {
  impl_->SetHandler(std::move(handler));
}

int TerminationSignals::Received() const { return impl_->Received(); }

void TerminationSignals::EndProcessAfter(std::chrono::milliseconds deadline) {
  impl_->SetDeadline(deadline);
}

}  // namespace slidesaver
