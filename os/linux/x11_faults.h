#pragma once

// Xlib ends the process on any protocol error and on a broken connection.
// Neither may end a screen saver that way: its windows can be destroyed by
// other clients at any moment, and its files must go when the server does.

#include <memory>

struct SDL_Window;
union SDL_Event;
struct _XDisplay;

namespace slidesaver {

// From now on protocol errors on every X connection of the process are
// dropped: a request on a window that has gone fails and nothing else
// happens. Call it before any library that saves the handler it finds (SDL
// puts that one back when its video ends) opens a connection.
void IgnoreX11Errors();

// A broken connection to the X server (the server ended, or another client
// killed this one) writes one line on stderr, runs the registered exit
// clean-ups and ends the process with status 0. Process-wide; call it after
// any library that installs a handler of its own has started.
void EndProcessOnLostX11Connection();

// SDL's windows on X11.
// The X window under an SDL window; 0 when it is no X11 window.
unsigned long X11WindowOf(SDL_Window* window);
// Asks the window manager, where one runs, to show the window full screen
// (above panels and docks) or no longer; the window keeps the bounds it was
// given. Unlike SDL's full-screen switch, which waits up to 100 ms for the
// window manager's answer (the whole time where none runs), it returns at
// once.
void RequestX11FullScreen(SDL_Window* window, bool fullScreen);
// Makes the still unmapped window one that no window manager manages
// (override-redirect), as screen savers' windows are: it stands exactly at the
// bounds it is given and no window manager frames it, moves it, tiles it or
// gives it the keyboard focus. It no longer asks for full screen either. False
// when it is no X11 window or already mapped (the window manager has it then).
bool MakeX11OverrideRedirect(SDL_Window* window);
// The window that has the keyboard focus on the window's X connection now
// (or None, or PointerRoot).
unsigned long X11InputFocus(SDL_Window* window);
// Raises the window above all its siblings, the windows that window managers
// manage among them. Should it have the keyboard focus now (SDL gives it to
// each window it shows while no window manager runs), the focus goes back to
// `previousFocus`, the window that X11InputFocus gave before.
void RaiseX11Window(SDL_Window* window, unsigned long previousFocus);
// Where the pointer is now in the window as it stands now (and on the screen), both
// asked of the X server. (SDL's own global pointer state misses absolute jumps that come without
// raw motion: a tablet, a remote desktop, a virtual machine's pointer; and SDL
// learns of a window's move only when it handles the event of it.)
bool X11PointerInWindow(SDL_Window* window, int& x, int& y, int& rootX, int& rootY);
// A place on the screen in the window as it stands now, asked of the X server.
bool X11ScreenToWindow(SDL_Window* window, int screenX, int screenY, int& x, int& y);
// True when the window's X server is Xwayland (its RandR outputs are XWAYLAND0 and on). It
// learns where the pointer is only when the compositor hands it the pointer over one of its
// windows: until then its crossing events and XQueryPointer give the place where the pointer
// last left them, and a window mapped under that place sees the pointer enter there.
bool X11ServerIsXwayland(SDL_Window* window);
// True for an SDL_SYSWMEVENT of the pointer entering or leaving an X window, with the
// crossing's place in that window. SDL follows it with a motion there (unless the pointer
// stood there already).
bool IsX11PointerCrossing(const SDL_Event& event, int& x, int& y);
// The X window that an SDL_SYSWMEVENT reports destroyed; 0 for any other event.
unsigned long DestroyedX11Window(const SDL_Event& event);
// From now on RandR's changes of the screen, of its CRTCs and of its outputs
// come to the X connection of SDL's windows, and so as SDL_SYSWMEVENTs. (SDL
// itself asks for the outputs' changes only.)
void WatchX11ScreenChanges(SDL_Window* window);
// True when an SDL_SYSWMEVENT reports such a change.
bool IsX11ScreenChange(const SDL_Event& event);

// Every key and every click and move of the desktop for the program's own
// windows: those over its windows come to them as they would anyway, the
// rest to the window that grabs the keyboard (the keys) and to a window of
// this grab's own outside the screen (the pointer), none to another client's.
// SDL lets go of both grabs whenever the pointer enters one of its windows
// and of the keyboard when the pointer leaves one; a window of SDL's own as
// the pointer's grab window would make each new grab such an entry.
class X11InputGrab {
 public:
  // On the X connection of SDL's windows, the keys for `window`; nullptr when
  // it is no X11 window.
  static std::unique_ptr<X11InputGrab> For(SDL_Window* window);
  ~X11InputGrab();
  X11InputGrab(const X11InputGrab&) = delete;
  X11InputGrab& operator=(const X11InputGrab&) = delete;

  // Grabs the keyboard unless `keyboard` is already true, and the pointer
  // unless `pointer` is; each turns true once its grab is held. A grab fails
  // while the window is not viewable or another client holds one.
  void Take(bool& keyboard, bool& pointer);
  // While the pointer is over no window of the program's it looks as the
  // program's windows make it look: hidden, or the desktop's own.
  void HidePointer(bool hidden);

  // A pointer event over another client's window, which the grab brought.
  struct PointerEvent {
    enum class Kind { Move, Down, Up } kind = Kind::Move;
    int rootX = 0;
    int rootY = 0;
    unsigned int button = 0;  // X's numbering: 1 left, 2 middle, 3 right
  };
  // True when the SDL_SYSWMEVENT is one.
  bool PointerEventOf(const SDL_Event& event, PointerEvent& out) const;

 private:
  X11InputGrab(_XDisplay* display, unsigned long keys, unsigned long pointer,
               unsigned long blank);
  _XDisplay* display_;
  unsigned long keys_;     // the SDL window that grabs the keyboard
  unsigned long pointer_;  // the window of the pointer's grab
  unsigned long blank_;    // a cursor without a visible pixel
};

}  // namespace slidesaver
