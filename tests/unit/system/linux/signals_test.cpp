#include "system/signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace slidesaver {
namespace {

bool Blocked(int signal) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

TEST(TerminationSignalsTest, SignalsReachTheHandlerAlsoWhenTheyCameBeforeIt) {
  ASSERT_FALSE(Blocked(SIGTERM));
  {
    TerminationSignals signals;
    EXPECT_TRUE(Blocked(SIGTERM) && Blocked(SIGINT) && Blocked(SIGHUP));

    // Kept until a handler is set.
    ASSERT_EQ(kill(getpid(), SIGHUP), 0);
    while (signals.Received() < 1) std::this_thread::yield();
    std::mutex mutex;
    std::condition_variable arrived;
    int calls = 0;
    signals.SetHandler([&] {
      std::lock_guard lock(mutex);
      ++calls;
      arrived.notify_all();
    });
    {
      std::unique_lock lock(mutex);
      EXPECT_EQ(calls, 1);
    }
    for (const int signal : {SIGTERM, SIGINT}) ASSERT_EQ(kill(getpid(), signal), 0);
    std::unique_lock lock(mutex);
    arrived.wait(lock, [&] { return calls == 3; });
    EXPECT_EQ(signals.Received(), 3);
  }
  EXPECT_FALSE(Blocked(SIGTERM));
  EXPECT_FALSE(Blocked(SIGHUP));
}

}  // namespace
}  // namespace slidesaver
