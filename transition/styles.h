#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "graphics/region.h"

namespace slidesaver {

// Everything one style step sees and delivers in a frame.
struct StyleFrame {
  std::int32_t W = 0;
  std::int32_t H = 0;
  std::int32_t p = 0;       // progress 0..100
  std::int32_t Step = 4;    // the control's Step
  std::int32_t X = 0;       // extent along the width
  std::int32_t Y = 0;       // extent along the height
  std::int32_t StepPx = 0;  // pixel step
  const Bitmap* OldImage = nullptr;
  const Bitmap* NewImage = nullptr;
  Bitmap* ScreenImage = nullptr;  // holds a copy of OldImage when the step starts
  TCanvas* Screen = nullptr;      // canvas over ScreenImage
  TRect DestRect;                 // copy styles: where SourceRect of NewImage goes
  TRect SourceRect;
  // Region styles, and copy styles whose pieces all lie in their own place: where the new
  // picture shows (the old one shows elsewhere).
  std::optional<Region> Clip;
  // Invalidates a rectangle of ScreenImage that the step drew itself.
  std::function<void(const TRect&)> InvalidateArea;
  // Makes sure ScreenImage holds the old picture; a step calls it before it
  // draws into ScreenImage itself (the frame routine may put that copy off).
  // Where pieces given here are sure to be drawn whole (see FillsDestination),
  // the old picture is left out.
  std::function<void(std::span<const TRect> pieces)> PrepareScreen;
};

// Whether copying `source` of a picture of size w x h writes every pixel of its destination: the
// source lies inside the picture, mirrored or not, and is not empty.
inline bool FillsDestination(const TRect& source, std::int32_t w, std::int32_t h) {
  const std::int32_t left = std::min(source.Left, source.Right);
  const std::int32_t right = std::max(source.Left, source.Right);
  const std::int32_t top = std::min(source.Top, source.Bottom);
  const std::int32_t bottom = std::max(source.Top, source.Bottom);
  return left >= 0 && top >= 0 && right <= w && bottom <= h && left < right && top < bottom;
}

using StyleStep = void (*)(StyleFrame& frame);

constexpr int kStyleCount = 128;

// How the frame routine finishes a style's frame.
enum class StyleGroup { Custom, Copy, Region, Pixel };
StyleGroup GroupOfStyle(int style);

// The step of each style 1..127. Entry 0 stays nullptr: the custom style is
// part of the control.
const std::array<StyleStep, kStyleCount>& StyleTable();

}  // namespace slidesaver
