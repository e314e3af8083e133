#pragma once

// What every system's TerminationSignals keeps: the handler, the counts and the
// closing deadline. Only the systems' implementations include this.

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "system/signals.h"

namespace slidesaver {

struct TerminationState {
  std::mutex mutex;
  std::function<void()> handler;  // guarded by mutex, as everything below
  int received = 0;
  int unhandled = 0;
  bool stopping = false;
  std::chrono::milliseconds deadline{0};  // 0: none
  std::optional<std::chrono::steady_clock::time_point> endBy;

  // A request to end arrived: counts it, raises TerminationRequested() and
  // starts the deadline, which lasts at least `atLeast` for requests the
  // system waits longer for. Returns the handler to call once the lock is let
  // go; empty while stopping, or when no handler is set (then the request is
  // kept for the next one). The caller holds `mutex`.
  std::function<void()> ArrivedLocked(std::chrono::milliseconds atLeast = {}) {
    if (stopping) return {};
    RequestTermination();
    ++received;
    if (!endBy && deadline.count() > 0) {
      endBy = std::chrono::steady_clock::now() + std::max(deadline, atLeast);
    }
    if (!handler) ++unhandled;
    return handler;
  }

  void SetHandler(std::function<void()> call) {
    int pending = 0;
    {
      std::lock_guard lock(mutex);
      handler = call;
      if (call) pending = std::exchange(unhandled, 0);
    }
    for (int i = 0; i < pending; ++i) call();
  }

  int Received() {
    std::lock_guard lock(mutex);
    return received;
  }

  void SetDeadline(std::chrono::milliseconds value) {
    std::lock_guard lock(mutex);
    deadline = value;
  }

  void Stop() {
    std::lock_guard lock(mutex);
    stopping = true;
    handler = nullptr;
  }
};

}  // namespace slidesaver
