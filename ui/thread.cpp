#include "ui/thread.h"

#include "ui/app.h"

namespace slidesaver {

TThread::TThread() = default;

TThread::~TThread() {
  if (thread_.joinable()) {
    Terminate();
    if (HasApplication() && Application().IsMainThread()) WaitFor();
    thread_.join();
  }
}

void TThread::Start() {
  // Body detaches thread_ with FreeOnTerminate; it may get there before the handle is stored.
  Application().ThreadStarted();
  std::lock_guard lock(shared_->mutex);
  thread_ = std::thread([this] { Body(); });
}

void TThread::Body() {
  const std::shared_ptr<Shared> shared = shared_;
  TApplication& app = Application();
  ApplyThreadPriority(Priority);
  try {
    Execute();
  } catch (...) {
    // A failure ends the thread; there is nobody to report it to.
  }
  try {
    if (OnTerminate) Synchronize(OnTerminate);
  } catch (...) {
  }
  const bool freeSelf = FreeOnTerminate;
  if (freeSelf) {
    std::lock_guard lock(shared->mutex);
    thread_.detach();
  }
  shared->finished = true;
  app.WakeSynchronizeWaiters();
  if (freeSelf) delete this;
  // WaitFor returns only now: the object is gone and the application untouched from here on.
  {
    std::lock_guard lock(shared->mutex);
    shared->released = true;
  }
  shared->done.notify_all();
  app.ThreadEnded();  // the last use of the application
}

void TThread::WaitFor() {
  const std::shared_ptr<Shared> shared = shared_;
  TApplication& app = Application();
  while (!shared->finished) {
    app.CheckSynchronize();
    app.WaitForSynchronize([&] { return shared->finished.load(); });
  }
  std::unique_lock lock(shared->mutex);
  shared->done.wait(lock, [&] { return shared->released; });
  // With FreeOnTerminate the object may be gone by now: touch nothing of it.
}

void TThread::Synchronize(const std::function<void()>& call) {
  struct Flag {
    std::atomic<bool>& flag;
    ~Flag() { flag = false; }
  };
  Application().Synchronize([this, &call] {
    shared_->inHandOver = true;
    Flag reset{shared_->inHandOver};
    call();
  });
}

}  // namespace slidesaver
