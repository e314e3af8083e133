#pragma once

#include <memory>

#include "ui/app.h"

namespace slidesaver {

// Real top-level windows on the desktop through SDL2 (X11 first).
//
// - Windows: a form's window is created when the form is first shown, at the
//   form's bounds, with a frame decided by its BorderStyle (bsNone: borderless)
//   and its Caption as title. Bounds that cover the whole of one screen on a
//   borderless form make the window full-screen there, above panels; without a
//   window manager it stands exactly at its bounds.
// - Screens: on X11 the RandR 1.5 monitors, else Xinerama's heads, else the
//   root window (x11_screens.h), asked through a connection of the backend's
//   own; elsewhere SDL's displays, display 0 primary. A monitor that comes,
//   goes or changes is one ScreensChanged event per round of events.
// - Presentation: Present converts exactly the given rectangles of the form's
//   24-bit surface into the window surface and updates only those (no GL).
// - Input: key-down (with a Windows virtual-key code), mouse buttons and mouse
//   moves in client coordinates, the pointer leaving the window, expose, the
//   close control, focus gained (Activate) and a new size given by the window
//   system (Resized) become InputEvents of the form.
// - GrabInput on X11: keys and pointer of the whole desktop come to the
//   program's windows (X11InputGrab); a grab that cannot be had yet, or that SDL
//   let go of, is tried again on later rounds of events for a few seconds.
// - Time: TickCount is SDL's millisecond clock; WaitEvents blocks in SDL's event
//   wait, so an idle program uses no processor; Wake may come from any thread.
// - The desktop's own screen saver and display power saving are not held off.
// - SDL's own SIGINT/SIGTERM handlers are not installed; the program handles
//   those signals itself.
// - Message boxes are the application's own modal form (message_box.h).
// - On X11, a window destroyed by another client becomes a Close event of its
//   form and X errors about it are dropped; a lost connection to the server
//   ends the process after its exit clean-ups (x11_faults.h).
//
// Throws Error("Cannot open the display: <reason>") when SDL's video cannot start.
std::unique_ptr<Backend> CreateSdlBackend();

}  // namespace slidesaver
