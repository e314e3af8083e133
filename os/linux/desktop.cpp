// The desktop on Linux: SDL2 windows on X11, and the windows of X11
// screen-saver hosts through Xlib.

#include "ui/desktop.h"

#include <csignal>
#include <cstdlib>

#include "os/linux/sdl_backend.h"
#include "os/linux/x11_host.h"

namespace slidesaver {

std::unique_ptr<Backend> CreateDesktopBackend() { return CreateSdlBackend(); }

std::unique_ptr<HostWindow> AttachHostWindow(std::uint64_t id) { return X11HostWindow::Attach(id); }

std::unique_ptr<HostWindow> AttachRootWindow() { return X11HostWindow::AttachRoot(); }

std::string DisplayName() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr ? display : "";
}

std::string ProgramArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text.push_back(' ');
    text += argv[i];
  }
  return text;
}

void PrepareProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace slidesaver
