#pragma once

#include <functional>

namespace slidesaver {

// Turns SIGTERM, SIGINT and SIGHUP into a call on a watcher thread, so that a
// program can end through its normal closing path instead of dying on the spot.
//
// The constructor blocks the three signals for the calling thread; create the
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

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace slidesaver
