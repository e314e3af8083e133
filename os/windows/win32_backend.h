#pragma once

#include <windows.h>

#include <memory>
#include <span>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "ui/app.h"

namespace slidesaver {

// Real top-level windows on the Windows desktop, plain Win32 and GDI.
//
// - Windows: a form's window is created when the form is first shown, at the
//   form's bounds (its client area; the frame goes around it), in one window
//   class of the program's own. bsNone gives a popup window without frame, so
//   a borderless form whose bounds are the whole primary screen covers it;
//   bsDialog and bsSingle a fixed frame with title bar and system menu;
//   bsSizeable a resizable one. The caption is the form's Caption.
//   A topmost window stays topmost when it moves. A window marked not to
//   activate (a cover beside the main window) shows without taking the focus,
//   and a click into it leaves the focus where it is.
// - Presentation: Present draws exactly the given rectangles of the form's
//   24-bit surface into the window (SetDIBitsToDevice); WM_PAINT becomes an
//   Expose event, and the framework repaints through Present.
// - Input: key-down (the virtual-key code as the system gives it), mouse buttons
//   and mouse moves in client coordinates, the pointer leaving the window, the
//   close control and activation become InputEvents of the form. A close request
//   is only reported: the framework decides whether the window closes. A client
//   size the system gave, other than the form's, becomes a Resized event.
// - Monitors: Screens lists every monitor at its place on the desktop (left of
//   or above the primary one at negative coordinates). A display change, which
//   the system tells every top-level window of, becomes one ScreensChanged
//   event when the monitors differ from those the program last read.
// - Time: TickCount is the system's millisecond tick; WaitEvents blocks in
//   MsgWaitForMultipleObjectsEx on the message queue and a wake event, so an
//   idle program uses no processor; Wake may come from any thread.
// - Message boxes are the system's own (MessageBoxW), owned by the active window.
std::unique_ptr<Backend> CreateWin32Backend();

// Draws these rectangles of `image` into `dc`; image pixel (x, y) lands on
// device pixel (x, y). Rectangles are cut to the image.
void DrawBitmapRects(HDC dc, const Bitmap& image, std::span<const TRect> rects);

}  // namespace slidesaver
