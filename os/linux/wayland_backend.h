#pragma once

#include <memory>

#include "ui/app.h"

namespace slidesaver {

// The program's own windows on a Wayland compositor, natively (wayland_window.h tells how forms
// become surfaces).
// - Screens: one per output, at its place in the logical layout (xdg_output), as large as the
//   output's pixels; the primary is the output at 0,0, else the first announced. Outputs that
//   come, go or change are one ScreensChanged event per round of events.
// - Input: keys (virtual-key codes through the compositor's keymap, no repeat), pointer moves,
//   buttons and leaving of every seat, in the form's pixels. A pointer's first place in a surface
//   is the one the compositor gives as it enters, so it is never a stale one.
// - PixelsPerInch: 96 times the primary output's scale.
// - Time: a monotonic millisecond clock; WaitEvents blocks on the connection and on Wake's
//   event counter, so an idle program uses no processor.
// - Message boxes are the application's own modal form (message_box.h).
// - A broken connection (the compositor went away) ends the process after its exit clean-ups,
//   with one line on stderr and status 0.
//
// Throws Error("Cannot open the Wayland display: <reason>") when no compositor answers or it
// offers neither layer-shell nor xdg-shell.
std::unique_ptr<Backend> CreateWaylandBackend();

}  // namespace slidesaver
