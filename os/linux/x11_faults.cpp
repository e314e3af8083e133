#include "os/linux/x11_faults.h"

// Before Xlib, whose macros (Expose, None) would clash with its names.
#include "ui/app.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <atomic>
#include <string_view>
#include <vector>

#include "system/exit_cleanup.h"

namespace slidesaver {
namespace {

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// RandR's first event code on the connection of SDL's windows; 0 until WatchX11ScreenChanges.
std::atomic<int> randrEventBase{0};

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

bool MakeX11OverrideRedirect(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return false;
  XWindowAttributes current;
  if (XGetWindowAttributes(display, xwindow, &current) == 0 || current.map_state != IsUnmapped) {
    return false;
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  XChangeWindowAttributes(display, xwindow, CWOverrideRedirect, &attributes);
  XFlush(display);
  // Nothing manages the window, yet a compositor still reads its state.
  RequestX11FullScreen(window, false);
  return true;
}

unsigned long X11InputFocus(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  Window focus = None;
  int revert = 0;
  if (X11Of(window, display, xwindow)) XGetInputFocus(display, &focus, &revert);
  return focus;
}

void RaiseX11Window(SDL_Window* window, unsigned long previousFocus) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  XRaiseWindow(display, xwindow);
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  if (focus == xwindow && previousFocus != xwindow) {
    XSetInputFocus(display, previousFocus, RevertToParent, CurrentTime);
  }
  XFlush(display);
}

bool X11PointerInWindow(SDL_Window* window, int& x, int& y, int& rootX, int& rootY) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return false;
  Window root = 0, child = 0;
  unsigned int mask = 0;
  return XQueryPointer(display, xwindow, &root, &child, &rootX, &rootY, &x, &y, &mask) != False;
}

bool X11ScreenToWindow(SDL_Window* window, int screenX, int screenY, int& x, int& y) {
  Display* display = nullptr;
  Window xwindow = 0;
  Window child = 0;
  return X11Of(window, display, xwindow) &&
         XTranslateCoordinates(display, DefaultRootWindow(display), xwindow, screenX, screenY, &x,
                               &y, &child) != False;
}

bool X11ServerIsXwayland(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  int opcode = 0, eventBase = 0, errorBase = 0;
  if (!X11Of(window, display, xwindow) ||
      !XQueryExtension(display, "RANDR", &opcode, &eventBase, &errorBase)) {
    return false;
  }
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
  if (resources == nullptr) return false;
  bool xwayland = false;
  for (int i = 0; i < resources->noutput && !xwayland; ++i) {
    XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
    if (output == nullptr) continue;
    xwayland = std::string_view(output->name, output->nameLen).starts_with("XWAYLAND");
    XRRFreeOutputInfo(output);
  }
  XRRFreeScreenResources(resources);
  return xwayland;
}

bool IsX11PointerCrossing(const SDL_Event& event, int& x, int& y) {
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr) return false;
  const SDL_SysWMmsg& message = *event.syswm.msg;
  if (message.subsystem != SDL_SYSWM_X11) return false;
  const XEvent& x11 = message.msg.x11.event;
  if (x11.type != EnterNotify && x11.type != LeaveNotify) return false;
  x = x11.xcrossing.x;
  y = x11.xcrossing.y;
  return true;
}

unsigned long DestroyedX11Window(const SDL_Event& event) {
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr) return 0;
  const SDL_SysWMmsg& message = *event.syswm.msg;
  if (message.subsystem != SDL_SYSWM_X11 || message.msg.x11.event.type != DestroyNotify) return 0;
  return message.msg.x11.event.xdestroywindow.window;
}

void WatchX11ScreenChanges(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  int eventBase = 0, errorBase = 0;
  int opcode = 0;
  // The core protocol's answer first: Xrandr warns on stderr about a server without RandR.
  if (!X11Of(window, display, xwindow) ||
      !XQueryExtension(display, "RANDR", &opcode, &eventBase, &errorBase) ||
      !XRRQueryExtension(display, &eventBase, &errorBase)) {
    return;
  }
  XRRSelectInput(display, DefaultRootWindow(display),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  XFlush(display);
  randrEventBase = eventBase;
}

bool IsX11ScreenChange(const SDL_Event& event) {
  const int base = randrEventBase;
  if (base == 0 || event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr) return false;
  const SDL_SysWMmsg& message = *event.syswm.msg;
  if (message.subsystem != SDL_SYSWM_X11) return false;
  XEvent x11 = message.msg.x11.event;
  if (x11.type == base + RRScreenChangeNotify) {
    XRRUpdateConfiguration(&x11);  // Xlib's own idea of the screen's size
    return true;
  }
  return x11.type == base + RRNotify;
}

std::unique_ptr<X11InputGrab> X11InputGrab::For(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return nullptr;
  // Mapped, so viewable, yet outside the screen: no pointer ever stands in it.
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window pointer =
      XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, CopyFromParent,
                    InputOnly, CopyFromParent, CWOverrideRedirect, &attributes);
  XMapWindow(display, pointer);
  const char nothing = 0;
  const Pixmap empty = XCreateBitmapFromData(display, pointer, &nothing, 1, 1);
  XColor black{};
  const Cursor blank = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
  XFreePixmap(display, empty);
  XFlush(display);
  return std::unique_ptr<X11InputGrab>(new X11InputGrab(display, xwindow, pointer, blank));
}

X11InputGrab::X11InputGrab(Display* display, unsigned long keys, unsigned long pointer,
                           unsigned long blank)
    : display_(display), keys_(keys), pointer_(pointer), blank_(blank) {}

X11InputGrab::~X11InputGrab() {
  XUngrabKeyboard(display_, CurrentTime);
  XUngrabPointer(display_, CurrentTime);
  XDestroyWindow(display_, pointer_);
  XFreeCursor(display_, blank_);
  XFlush(display_);
}

void X11InputGrab::Take(bool& keyboard, bool& pointer) {
  if (!keyboard) {
    keyboard = XGrabKeyboard(display_, keys_, True, GrabModeAsync, GrabModeAsync, CurrentTime) ==
               GrabSuccess;
  }
  if (!pointer) {
    constexpr unsigned int kEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    pointer = XGrabPointer(display_, pointer_, True, kEvents, GrabModeAsync, GrabModeAsync, None,
                           None, CurrentTime) == GrabSuccess;
  }
  XFlush(display_);
}

void X11InputGrab::HidePointer(bool hidden) {
  if (hidden) {
    XDefineCursor(display_, pointer_, blank_);
  } else {
    XUndefineCursor(display_, pointer_);
  }
  XFlush(display_);
}

bool X11InputGrab::PointerEventOf(const SDL_Event& event, PointerEvent& out) const {
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr) return false;
  const SDL_SysWMmsg& message = *event.syswm.msg;
  if (message.subsystem != SDL_SYSWM_X11) return false;
  const XEvent& x = message.msg.x11.event;
  if (x.xany.window != pointer_) return false;
  switch (x.type) {
    case MotionNotify:
      out = PointerEvent{PointerEvent::Kind::Move, x.xmotion.x_root, x.xmotion.y_root, 0};
      return true;
    case ButtonPress:
    case ButtonRelease:
      out = PointerEvent{x.type == ButtonPress ? PointerEvent::Kind::Down : PointerEvent::Kind::Up,
                         x.xbutton.x_root, x.xbutton.y_root, x.xbutton.button};
      return true;
    default:
      return false;
  }
}

}  // namespace slidesaver
