#pragma once

#include <memory>

#include "ui/app.h"

namespace slidesaver {

// Real top-level windows on the desktop through SDL2 (X11 first).
//
// - Windows: a form's window is created when the form is first shown, at the
//   form's bounds, with a frame decided by its BorderStyle (bsNone: borderless)
//   and its Caption as title. Bounds that cover the whole primary screen on a
//   borderless form make the window full-screen on the desktop, above panels.
// - Presentation: Present converts exactly the given rectangles of the form's
//   24-bit surface into the window surface and updates only those (no GL).
// - Input: key-down (with a Windows virtual-key code), mouse buttons and mouse
//   moves in client coordinates, the pointer leaving the window, expose, the
//   close control and focus gained (Activate) become InputEvents of the form.
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
