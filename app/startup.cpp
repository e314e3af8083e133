#include "app/startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/preview.h"
#include "base/error.h"
#include "base/random.h"
#include "saver/saver_window.h"
#include "setup/setup_dialog.h"
#include "system/debug_output.h"
#include "system/files.h"
#include "system/instance.h"
#include "system/password.h"
#include "system/run_folder.h"
#include "system/signals.h"
#include "ui/app.h"
#include "ui/desktop.h"

namespace slidesaver {
namespace {

// From the first termination signal on, the program has this long to close
// the normal way before it cleans up its files and ends in a hurry.
constexpr std::chrono::milliseconds kCloseDeadline{750};

constexpr const char* kUsage =
    "usage: SAVER [/S] [--window-id ID | --root]   saver mode\n"
    "       SAVER /P HWND                          preview in the window HWND\n"
    "       SAVER [/C]                             setup dialog\n"
    "       SAVER /A [HWND]                        password change (nothing on Linux)\n"
    "       SAVER --help                           this text\n"
    "       --x11 | --wayland                      (Linux, with /S or /C) the desktop to open\n"
    "                                              windows on; by default Wayland when\n"
    "                                              WAYLAND_DISPLAY is set, else X11\n"
    "SAVER is slidesaver with a show appended by slidesaver-pack. The first argument chooses\n"
    "the mode, in any letter case: /S or -S, and any argument that selects no other mode, is\n"
    "saver mode; /P, -P or P...: preview; /C, -C, C... or no argument: setup; /A, -A or A...:\n"
    "password change. In saver mode, --window-id ID (decimal or 0x hexadecimal, anywhere), else\n"
    "XSCREENSAVER_WINDOW=ID in the environment, draws into that window, and --root on the root\n"
    "window; there the saver takes no input.\n";

// Hands over to the platform's password-change service, when there is one.
void RunPasswordChange(const StartupArgs& args) {
  const PasswordChangeService changePassword = FindPasswordChangeService();
  if (changePassword == nullptr) return;
  const std::int32_t window = ParseWindowHandle(args.second);
  changePassword("SCRSAVE", window, 0, 0);
}

// While it lives, a termination signal closes `form` the way its close
// control would.
class CloseOnSignal {
 public:
  CloseOnSignal(TerminationSignals& signals, TApplication& app, TForm& form) : signals_(signals) {
    signals_.SetHandler([&app, &form] {
      app.PostMessage([&app, &form] {
        if (!app.Terminated()) form.Close();
      });
    });
  }
  ~CloseOnSignal() { signals_.SetHandler(nullptr); }
  CloseOnSignal(const CloseOnSignal&) = delete;
  CloseOnSignal& operator=(const CloseOnSignal&) = delete;

 private:
  TerminationSignals& signals_;
};

// Runs `form` as the application's main form until it closes.
void RunMainForm(TApplication& app, TForm& form, TerminationSignals& signals) {
  app.MainForm = &form;
  // Failures while the form shows and starts up reach the application's handler.
  app.PostMessage([&form] { form.Show(); });
  {
    const CloseOnSignal closer(signals, app, form);
    app.Run();
  }
  app.ProcessMessages();
}

// Shows the setup dialog until it closes.
void RunSetup(const std::string& executable, TerminationSignals& signals) {
  TApplication app(CreateDesktopBackend());
  app.Title = ApplicationTitle(executable);
  app.ProcessMessages();
  TfrmSetup form(executable);
  RunMainForm(app, form, signals);
}

std::string WindowName(std::uint64_t id) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(id));
  return text;
}

// The backend saver mode draws through: real windows of its own, or the
// window a screen-saver host named.
std::unique_ptr<Backend> SaverBackend(const SaverTarget& target) {
  switch (target.kind) {
    case SaverTarget::Kind::OwnWindow:
      return CreateDesktopBackend();
    case SaverTarget::Kind::HostWindow:
      if (auto window = AttachHostWindow(target.windowId)) {
        return CreateHostBackend(std::move(window));
      }
      throw Error("Cannot draw into window " + WindowName(target.windowId) +
                  ": the display cannot be opened or has no such window");
    case SaverTarget::Kind::RootWindow:
      if (auto window = AttachRootWindow()) return CreateHostBackend(std::move(window));
      throw Error("Cannot draw on the root window: the display cannot be opened");
  }
  return nullptr;
}

// One saver per file name runs per display; daemons that run one saver per
// monitor start several copies of the same file, so each host window gets an
// instance name of its own.
std::string InstanceSuffix(const SaverTarget& target) {
  const std::string suffix = DisplaySuffix(DisplayName());
  switch (target.kind) {
    case SaverTarget::Kind::OwnWindow:
      return suffix;
    case SaverTarget::Kind::HostWindow:
      return suffix + "-" + WindowName(target.windowId);
    case SaverTarget::Kind::RootWindow:
      return suffix + "-root";
  }
  return suffix;
}

// Shows the saver window until it closes.
void RunSaver(const SaverTarget& target, const std::string& executable,
              TerminationSignals& signals) {
  try {
    RemoveStaleRunFolders(RuntimeFolder());
  } catch (const Error&) {
    // No runtime folder: nothing left over in it either.
  }
  TApplication app(SaverBackend(target));
  app.Title = ApplicationTitle(executable);
  app.ProcessMessages();
  Randomize();
  TfrmScrn form(executable);
  form.SetInHostWindow(target.kind != SaverTarget::Kind::OwnWindow);
  RunMainForm(app, form, signals);
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
  PrepareProcess();
  // Before any other thread exists, so that only the watcher takes the signals.
  TerminationSignals signals;
  signals.EndProcessAfter(kCloseDeadline);
  SaverTarget target;
  if (mode == RunMode::Saver) target = FindSaverTarget(arguments, std::getenv("XSCREENSAVER_WINDOW"));
  // A host's window, the root window and the preview are X11 windows, whatever the session.
  const bool hosted = mode == RunMode::Preview ||
                      (mode == RunMode::Saver && target.kind != SaverTarget::Kind::OwnWindow);
  SetDesktopPreference(hosted ? DesktopPreference::X11 : FindDesktopPreference(arguments));
  const std::string executable = OwnExecutablePath();
  const InstanceLock instance = InstanceLock::ForExecutable(executable, InstanceSuffix(target));
  if (instance.result() == InstanceLockResult::AlreadyRunning) return;
  switch (mode) {
    case RunMode::Preview:
      RunPreview(ParseWindowHandle(args.second), executable, &signals);
      break;
    case RunMode::Setup:
      RunSetup(executable, signals);
      break;
    case RunMode::Saver:
      RunSaver(target, executable, signals);
      break;
    case RunMode::PasswordChange:
      break;  // finished above, before the instance check
  }
}

}  // namespace

int RunStartup(int argc, char** argv) {
  try {
    const std::vector<std::string> arguments = SplitCommandLine(ProgramArguments(argc, argv));
    if (AsksForHelp(arguments)) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    RunStartupSequence(arguments);
  } catch (const std::exception& e) {
    // Hosts rely on status 0; the reason goes to stderr in one line.
    std::string program = argc > 0 && argv[0] != nullptr ? FileNamePart(argv[0]) : "slidesaver";
    if (program.find('?') != std::string::npos) {
      // On Windows argv[0] holds only what the ANSI code page can write of the name ("?" for
      // the rest); the system's own name of the file has it whole.
      try {
        program = FileNamePart(OwnExecutablePath());
      } catch (const std::exception&) {
        // argv[0] then
      }
    }
    const std::string line = program + ": " + e.what();
    std::fprintf(stderr, "%s\n", line.c_str());
    WriteDebuggerLine(line);
  } catch (...) {
  }
  return 0;
}

}  // namespace slidesaver
