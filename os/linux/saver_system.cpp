#include "system/saver_system.h"

#include "base/error.h"

namespace slidesaver {
namespace {

class LinuxSaverSystem : public SaverSystem {
 public:
  bool HasSaverSettings() override { return false; }
  std::int32_t UsePasswordSetting() override {
    throw Error("No screen-saver password setting on this desktop");
  }
  bool VerifyPassword(std::intptr_t) override {
    throw Error("No screen-saver password check on this desktop");
  }
  void SetScreenSaverRunning(bool) override {}
};

}  // namespace

std::unique_ptr<SaverSystem> PlatformSaverSystem() { return std::make_unique<LinuxSaverSystem>(); }

}  // namespace slidesaver
