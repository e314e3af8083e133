#include <windows.h>

#include "ui/thread.h"

namespace slidesaver {

void ApplyThreadPriority(TThreadPriority priority) {
  static constexpr int kPriority[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                      THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                      THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                      THREAD_PRIORITY_TIME_CRITICAL};
  SetThreadPriority(GetCurrentThread(), kPriority[static_cast<int>(priority)]);
}

}  // namespace slidesaver
