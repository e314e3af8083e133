#include "os/linux/wayland_outputs.h"

#include <algorithm>

namespace slidesaver {
namespace {

// The output's screen before the primary one is chosen; empty when it has none.
TRect ScreenBounds(const OutputState& output) {
  if (!output.described) return TRect{};
  const std::int32_t scale = std::max(1, output.scale);
  if (output.logical && !output.logical->IsEmpty()) {
    const TRect& l = *output.logical;
    return Bounds(l.Left, l.Top, l.Width() * scale, l.Height() * scale);
  }
  // Without xdg_output the layout is wl_output's corner and the mode as the output shows it.
  const bool turned = (output.transform & 1) != 0;
  const TSize size = turned ? TSize{output.mode.cy, output.mode.cx} : output.mode;
  return Bounds(output.position.X, output.position.Y, size.cx, size.cy);
}

}  // namespace

std::vector<Screen> ScreensOfOutputs(const std::vector<OutputState>& outputs) {
  std::vector<Screen> screens;
  for (const OutputState& output : outputs) {
    const TRect bounds = ScreenBounds(output);
    if (!bounds.IsEmpty()) screens.push_back(Screen{bounds, false});
  }
  if (screens.empty()) return screens;
  const auto origin = std::find_if(screens.begin(), screens.end(), [](const Screen& s) {
    return s.bounds.Left == 0 && s.bounds.Top == 0;
  });
  (origin != screens.end() ? *origin : screens.front()).primary = true;
  return screens;
}

const OutputState* OutputAt(const std::vector<OutputState>& outputs, const TRect& bounds) {
  for (const OutputState& output : outputs) {
    const TRect screen = ScreenBounds(output);
    if (!screen.IsEmpty() && screen == bounds) return &output;
  }
  return nullptr;
}

}  // namespace slidesaver
