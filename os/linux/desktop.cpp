// The desktop on Linux: native windows on a Wayland compositor, SDL2 windows on
// X11, and the windows of X11 screen-saver hosts through Xlib.

#include "ui/desktop.h"

#include <csignal>
#include <cstdlib>

#include "base/error.h"
#include "os/linux/sdl_backend.h"
#include "os/linux/wayland_backend.h"
#include "os/linux/x11_host.h"

namespace slidesaver {
namespace {

DesktopPreference preference = DesktopPreference::Session;

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// A compositor hands its clients their connection in WAYLAND_SOCKET; a session names it in
// WAYLAND_DISPLAY.
bool UsesWayland() {
  if (preference != DesktopPreference::Session) return preference == DesktopPreference::Wayland;
  return IsSet("WAYLAND_DISPLAY") || IsSet("WAYLAND_SOCKET");
}

}  // namespace

void SetDesktopPreference(DesktopPreference chosen) { preference = chosen; }

std::unique_ptr<Backend> CreateDesktopBackend() {
  if (UsesWayland()) {
    try {
      return CreateWaylandBackend();
    } catch (const Error&) {
      if (preference == DesktopPreference::Wayland || !IsSet("DISPLAY")) throw;
    }
  }
  return CreateSdlBackend();
}

std::unique_ptr<HostWindow> AttachHostWindow(std::uint64_t id) { return X11HostWindow::Attach(id); }

std::unique_ptr<HostWindow> AttachRootWindow() { return X11HostWindow::AttachRoot(); }

std::string DisplayName() {
  if (UsesWayland()) {
    return IsSet("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0";
  }
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
