#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "ui/thread.h"

namespace slidesaver {

// Linux threads can lower their own priority through their nice value;
// raising it needs privileges, so the higher priorities stay at normal when refused.
void ApplyThreadPriority(TThreadPriority priority) {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -15};
  const int nice = kNice[static_cast<int>(priority)];
  if (nice == 0) return;
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  setpriority(PRIO_PROCESS, tid, nice);
}

}  // namespace slidesaver
