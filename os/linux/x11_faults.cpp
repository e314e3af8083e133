#include "os/linux/x11_faults.h"

// Before Xlib, whose macros (Expose, None) would clash with its names.
#include "ui/app.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <vector>

#include "system/exit_cleanup.h"

namespace slidesaver {
namespace {

int IgnoreError(Display*, XErrorEvent*) { return 0; }

int OnLostConnection(Display*) {
  ReportToStderr("the connection to the X server was lost");
  ExitAfterCleanup(0);
}

// The X connection and window under an SDL window; false when it is no X11 window.
bool X11Of(SDL_Window* window, Display*& display, Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

}  // namespace

void IgnoreX11Errors() { XSetErrorHandler(IgnoreError); }

void EndProcessOnLostX11Connection() { XSetIOErrorHandler(OnLostConnection); }

unsigned long X11WindowOf(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) ? xwindow : 0;
}

void RequestX11FullScreen(SDL_Window* window, bool fullScreen) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom full = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, xwindow, &attributes) == 0) return;
  if (attributes.map_state == IsUnmapped) {
    // Not managed yet: the window manager reads the state when the window is mapped.
    std::vector<Atom> states;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, xwindow, state, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success && data != nullptr) {
      if (type == XA_ATOM && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        states.assign(atoms, atoms + count);
      }
      XFree(data);
    }
    std::erase(states, full);
    if (fullScreen) states.push_back(full);
    XChangeProperty(display, xwindow, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()),
                    static_cast<int>(states.size()));
  } else {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xwindow;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = fullScreen ? 1 : 0;  // add or remove
    event.xclient.data.l[1] = static_cast<long>(full);
    event.xclient.data.l[3] = 1;  // asked for by an application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
  }
  XFlush(display);
}

bool X11PointerOnScreen(SDL_Window* window, int& x, int& y) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return false;
  Window root = 0, child = 0;
  int windowX = 0, windowY = 0;
  unsigned int mask = 0;
  return XQueryPointer(display, xwindow, &root, &child, &x, &y, &windowX, &windowY, &mask) !=
         False;
}

unsigned long DestroyedX11Window(const SDL_Event& event) {
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr) return 0;
  const SDL_SysWMmsg& message = *event.syswm.msg;
  if (message.subsystem != SDL_SYSWM_X11 || message.msg.x11.event.type != DestroyNotify) return 0;
  return message.msg.x11.event.xdestroywindow.window;
}

}  // namespace slidesaver
