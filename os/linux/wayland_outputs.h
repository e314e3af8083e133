#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"
#include "ui/app.h"

namespace slidesaver {

// What the compositor has told of one output (wl_output, and xdg_output where offered).
struct OutputState {
  std::uint32_t name = 0;  // the registry's name of the output: its identity
  // The place and size in the compositor's logical layout (xdg_output).
  std::optional<TRect> logical;
  // wl_output's own view: the top-left corner, the current mode and its rotation.
  TPoint position{};
  TSize mode{};
  std::int32_t transform = 0;  // wl_output_transform; odd values turn the mode by 90 degrees
  std::int32_t scale = 1;
  // The first "done" has arrived: the output is described and may be covered.
  bool described = false;
};

// The outputs as screens, in the order they were announced. Each screen lies at the output's
// place in the logical layout and is as large as the pixels the program draws for it there (its
// logical size times its integer scale), since forms measure in pixels. The primary screen is the
// output at 0,0 of the layout, else the first one announced. Outputs not yet described or of no
// size are left out.
std::vector<Screen> ScreensOfOutputs(const std::vector<OutputState>& outputs);

// The output whose screen (as ScreensOfOutputs gives it) is `bounds`; nullptr when none is.
const OutputState* OutputAt(const std::vector<OutputState>& outputs, const TRect& bounds);

}  // namespace slidesaver
