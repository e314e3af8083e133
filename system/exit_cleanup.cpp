#include "system/exit_cleanup.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

namespace slidesaver {
namespace {

struct Registry {
  std::mutex mutex;
  int nextId = 1;
  std::map<int, std::function<void()>> cleanups;
};

// Never destroyed: a clean-up may run while static objects are being torn down.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

int AddExitCleanup(std::function<void()> cleanup) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const int id = registry.nextId++;
  registry.cleanups.emplace(id, std::move(cleanup));
  return id;
}

void RemoveExitCleanup(int id) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.cleanups.erase(id);
}

void ExitAfterCleanup(int status) {
  Registry& registry = TheRegistry();
  std::map<int, std::function<void()>> cleanups;
  {
    std::lock_guard lock(registry.mutex);
    cleanups = std::exchange(registry.cleanups, {});
  }
  for (auto it = cleanups.rbegin(); it != cleanups.rend(); ++it) {
    try {
      it->second();
    } catch (...) {
      // The process ends now whatever a clean-up met.
    }
  }
  std::_Exit(status);
}

}  // namespace slidesaver
