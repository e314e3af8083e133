#include "system/signals.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <mutex>
#include <thread>
#include <utility>

#include "base/error.h"
#include "system/exit_cleanup.h"
#include "system/termination_state.h"

namespace slidesaver {
namespace {

sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGUSR1);
  sigaddset(&set, SIGUSR2);
  return set;
}

}  // namespace

struct TerminationSignals::Impl : TerminationState {
  sigset_t previousMask;
  std::thread watcher;

  // Waits for the next signal; false when the deadline passed first.
  bool NextSignal(const sigset_t& set, int& signal) {
    if (!endBy) {
      if (sigwait(&set, &signal) != 0) signal = 0;
      return true;
    }
    const auto left = *endBy - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    signal = sigtimedwait(&set, nullptr, &timeout);
    if (signal < 0 && errno == EAGAIN) return false;
    if (signal < 0) signal = 0;
    return true;
  }

  void Watch() {
    const sigset_t set = TerminationSet();
    for (;;) {
      int signal = 0;
      if (!NextSignal(set, signal)) {
        std::lock_guard lock(mutex);
        if (stopping) return;
        ExitAfterCleanup(0);
      }
      if (signal == 0) continue;
      std::function<void()> call;
      {
        std::lock_guard lock(mutex);
        if (stopping) return;
        call = ArrivedLocked();
      }
      if (call) call();
    }
  }
};

TerminationSignals::TerminationSignals() : impl_(new Impl) {
  const sigset_t set = TerminationSet();
  if (pthread_sigmask(SIG_BLOCK, &set, &impl_->previousMask) != 0) {
    delete impl_;
    throw Error("Cannot block the termination signals");
  }
  impl_->watcher = std::thread([impl = impl_] { impl->Watch(); });
}

TerminationSignals::~TerminationSignals() {
  impl_->Stop();
  // The watcher takes this signal out of sigwait and sees that it has to stop.
  pthread_kill(impl_->watcher.native_handle(), SIGTERM);
  impl_->watcher.join();
  pthread_sigmask(SIG_SETMASK, &impl_->previousMask, nullptr);
  delete impl_;
}

void TerminationSignals::SetHandler(std::function<void()> handler) {
  impl_->SetHandler(std::move(handler));
}

void TerminationSignals::EndProcessAfter(std::chrono::milliseconds deadline) {
  impl_->SetDeadline(deadline);
}

int TerminationSignals::Received() const { return impl_->Received(); }

}  // namespace slidesaver
