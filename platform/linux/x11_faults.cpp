#include "platform/linux/x11_faults.h"

// Before Xlib, whose macros (Expose, None) would clash with its names.
#include "platform/app.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include "platform/exit_cleanup.h"

namespace slidesaver {
namespace {

int IgnoreError(Display*, XErrorEvent*) { return 0; }

int OnLostConnection(Display*) {
  ReportToStderr("the connection to the X server was lost");
  ExitAfterCleanup(0);
}

}  // namespace

void IgnoreX11Errors() { XSetErrorHandler(IgnoreError); }

void EndProcessOnLostX11Connection() { XSetIOErrorHandler(OnLostConnection); }

unsigned long X11WindowOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return info.info.x11.window;
}

unsigned long DestroyedX11Window(const SDL_Event& event) {
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr) return 0;
  const SDL_SysWMmsg& message = *event.syswm.msg;
  if (message.subsystem != SDL_SYSWM_X11 || message.msg.x11.event.type != DestroyNotify) return 0;
  return message.msg.x11.event.xdestroywindow.window;
}

}  // namespace slidesaver
