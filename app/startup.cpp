#include "app/startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/cmdline.h"
#include "app/preview.h"
#include "platform/app.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/password.h"
#include "platform/random.h"
#include "platform/sdl_backend.h"
#include "platform/signals.h"
#include "platform/x11_host.h"
#include "saver/saver_window.h"
#include "setup/setup_dialog.h"

namespace slidesaver {
namespace {

// Hands over to the platform's password-change service, when there is one.
void RunPasswordChange(const StartupArgs& args) {
  const PasswordChangeService changePassword = FindPasswordChangeService();
  if (changePassword == nullptr) return;
  const std::int32_t window = ParseWindowHandle(args.second);
  changePassword("SCRSAVE", window, 0, 0);
}

// Shows the setup dialog until it closes.
void RunSetup(const std::string& executable) {
  TApplication app(CreateSdlBackend());
  app.Title = ApplicationTitle(executable);
  app.ProcessMessages();
  {
    TfrmSetup form(executable);
    app.MainForm = &form;
    // Failures while the dialog fills reach the application's handler.
    app.PostMessage([&form] { form.Show(); });
    app.Run();
    app.ProcessMessages();
  }
}

// The backend saver mode draws through: real windows of its own, or the
// window a screen-saver host named. Nothing when that window does not exist.
std::unique_ptr<Backend> SaverBackend(const SaverTarget& target) {
  switch (target.kind) {
    case SaverTarget::Kind::OwnWindow:
      return CreateSdlBackend();
    case SaverTarget::Kind::HostWindow:
      if (auto window = X11HostWindow::Attach(target.windowId)) {
        return CreateX11HostBackend(std::move(window));
      }
      return nullptr;
    case SaverTarget::Kind::RootWindow:
      if (auto window = X11HostWindow::AttachRoot()) return CreateX11HostBackend(std::move(window));
      return nullptr;
  }
  return nullptr;
}

// Daemons that run one saver per monitor start several copies of the same
// file; each window gets its own instance name.
std::string InstanceSuffix(const SaverTarget& target) {
  switch (target.kind) {
    case SaverTarget::Kind::OwnWindow:
      return "";
    case SaverTarget::Kind::HostWindow: {
      char id[32];
      std::snprintf(id, sizeof id, "-0x%llx", static_cast<unsigned long long>(target.windowId));
      return id;
    }
    case SaverTarget::Kind::RootWindow:
      return "-root";
  }
  return "";
}

// Shows the full-screen saver window until it closes. SIGTERM, SIGINT and
// SIGHUP close it the way a close request does.
void RunSaver(const SaverTarget& target, const std::string& executable) {
  // Before any other thread exists, so that only the watcher takes the signals.
  TerminationSignals signals;
  std::unique_ptr<Backend> backend = SaverBackend(target);
  if (!backend) return;
  TApplication app(std::move(backend));
  app.Title = ApplicationTitle(executable);
  app.ProcessMessages();
  Randomize();
  {
    TfrmScrn form(executable);
    app.MainForm = &form;
    // Failures while the window starts up reach the application's handler.
    app.PostMessage([&form] { form.Show(); });
    signals.SetHandler([&app, &form] {
      app.PostMessage([&app, &form] {
        if (!app.Terminated()) form.Close();
      });
    });
    app.Run();
    signals.SetHandler(nullptr);
    app.ProcessMessages();
  }
}

void RunStartupSequence(const std::vector<std::string>& arguments) {
  StartupArgs args;
  if (arguments.size() > 0) args.first = ToUpperAscii(arguments[0]);
  if (arguments.size() > 1) args.second = ToUpperAscii(arguments[1]);
  const RunMode mode = ParseRunMode(args.first);
  if (mode == RunMode::PasswordChange) {
    RunPasswordChange(args);
    return;
  }
  SaverTarget target;
  if (mode == RunMode::Saver) target = FindSaverTarget(arguments, std::getenv("XSCREENSAVER_WINDOW"));
  const std::string executable = OwnExecutablePath();
  const InstanceLock instance = InstanceLock::ForExecutable(executable, InstanceSuffix(target));
  if (instance.result() == InstanceLockResult::AlreadyRunning) return;
  switch (mode) {
    case RunMode::Preview:
      RunPreview(ParseWindowHandle(args.second), executable);
      break;
    case RunMode::Setup:
      RunSetup(executable);
      break;
    case RunMode::Saver:
      RunSaver(target, executable);
      break;
    case RunMode::PasswordChange:
      break;  // finished above, before the instance check
  }
}

}  // namespace

int RunStartup(int argc, char** argv) {
  try {
    RunStartupSequence(SplitCommandLine(CommandLineFromArgv(argc, argv)));
  } catch (...) {
    // Start-up ends silently whatever went wrong.
  }
  return 0;
}

}  // namespace slidesaver
