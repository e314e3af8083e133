#pragma once

#include <chrono>
#include <functional>

namespace slidesaver {

// True once the process has been asked to end (a termination signal arrived).
// Long computations on the main thread (decoding a picture) look at it and give
// up early, so that the program can close within a second. Any thread.
bool TerminationRequested();
// Raises the flag; tests use it, the signal watcher does it on every signal.
void RequestTermination();
// Lowers it again, for tests.
void ClearTerminationRequest();

// Turns SIGTERM, SIGINT, SIGHUP, SIGUSR1 and SIGUSR2 into a call on a watcher
// thread, so that a program can end through its normal closing path instead of
// dying on the spot. Every one of them also raises TerminationRequested().
//
// The constructor blocks these signals for the calling thread; create the
// object on the main thread before any other thread starts, so that every
// thread inherits the mask and only the watcher receives them. A signal that
// arrives while no handler is set is kept and passed to the next handler set.
// The destructor stops the watcher and restores the previous signal mask;
// a signal kept but never handled is lost with it.
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // `handler` runs once per signal, on the watcher thread (for signals kept
  // from before, inside SetHandler); it must only do thread-safe things such
  // as posting a message. An empty handler unsets it.
  void SetHandler(std::function<void()> handler);
  // How many signals have arrived so far.
  int Received() const;
  // From the first signal on, the program has `deadline` to end the normal
  // way (to destroy this object); past it the watcher runs the registered
  // exit clean-ups and ends the process with status 0 (exit_cleanup.h).
  void EndProcessAfter(std::chrono::milliseconds deadline);

  // The operating system's part.
  struct Impl;

 private:
  Impl* impl_;
};

}  // namespace slidesaver
