#include "app/startup.h"

#include <cstdint>

#include "app/cmdline.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/password.h"

namespace slidesaver {
namespace {

// Hands over to the platform's password-change service, when there is one.
void RunPasswordChange(const StartupArgs& args) {
  const PasswordChangeService changePassword = FindPasswordChangeService();
  if (changePassword == nullptr) return;
  const std::int32_t window = ParseWindowHandle(args.second);
  changePassword("SCRSAVE", window, 0, 0);
}

// Draws the first picture into the host's preview window. Not built yet.
void RunPreview(std::int32_t hostWindow) {}

// Shows the setup dialog until it closes. Not built yet.
void RunSetup() {}

// Shows the full-screen saver window until it closes. Not built yet.
void RunSaver() {}

void RunStartupSequence(const StartupArgs& args) {
  const RunMode mode = ParseRunMode(args.first);
  if (mode == RunMode::PasswordChange) {
    RunPasswordChange(args);
    return;
  }
  const InstanceLock instance = InstanceLock::ForExecutable(OwnExecutablePath());
  if (instance.result() == InstanceLockResult::AlreadyRunning) return;
  switch (mode) {
    case RunMode::Preview:
      RunPreview(ParseWindowHandle(args.second));
      break;
    case RunMode::Setup:
      RunSetup();
      break;
    case RunMode::Saver:
      RunSaver();
      break;
    case RunMode::PasswordChange:
      break;  // finished above, before the instance check
  }
}

}  // namespace

int RunStartup(int argc, char** argv) {
  try {
    RunStartupSequence(ReadStartupArgs(CommandLineFromArgv(argc, argv)));
  } catch (...) {
    // Start-up ends silently whatever went wrong.
  }
  return 0;
}

}  // namespace slidesaver
