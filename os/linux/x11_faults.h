#pragma once

// Xlib ends the process on any protocol error and on a broken connection.
// Neither may end a screen saver that way: its windows can be destroyed by
// other clients at any moment, and its files must go when the server does.

struct SDL_Window;
union SDL_Event;

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
// Where the pointer is on the screen now, asked of the X server. (SDL's own
// global pointer state misses absolute jumps that come without raw motion: a
// tablet, a remote desktop, a virtual machine's pointer.)
bool X11PointerOnScreen(SDL_Window* window, int& x, int& y);
// The X window that an SDL_SYSWMEVENT reports destroyed; 0 for any other event.
unsigned long DestroyedX11Window(const SDL_Event& event);

}  // namespace slidesaver
