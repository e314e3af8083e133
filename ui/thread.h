#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace slidesaver {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Gives the calling thread that priority, as far as the system allows.
void ApplyThreadPriority(TThreadPriority priority);

// A worker thread running Execute. OnTerminate runs on the main thread when
// Execute has returned, handed over synchronously; with FreeOnTerminate the
// object then deletes itself.
class TThread {
 public:
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute on a new thread; call once, after construction is complete.
  void Start();
  // Asks Execute to end; it checks Terminated.
  void Terminate() { shared_->terminated = true; }
  bool Terminated() const { return shared_->terminated; }
  // Blocks the main thread until the thread has finished, meanwhile running
  // the thread's hand-overs (and its OnTerminate).
  void WaitFor();
  bool Finished() const { return shared_->finished; }
  // True while the main thread runs a call this thread handed over.
  bool InHandOver() const { return shared_->inHandOver; }

  bool FreeOnTerminate = false;
  TThreadPriority Priority = TThreadPriority::tpNormal;
  std::function<void()> OnTerminate;

 protected:
  virtual void Execute() = 0;
  // Runs `call` on the main thread and waits for it.
  void Synchronize(const std::function<void()>& call);

 private:
  struct Shared {
    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> inHandOver{false};
    std::mutex mutex;
    std::condition_variable_any done;
    // Set under `mutex` when the worker touches nothing of the object or the
    // application any more (after the self-deletion with FreeOnTerminate).
    bool released = false;
  };
  void Body();

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::thread thread_;
};

}  // namespace slidesaver
