// The cross-fade and the four swings: these compute every pixel of the frame
// themselves, at every progress including 0.

#include <numbers>

#include "transition/primitives.h"
#include "transition/style_families.h"

namespace slidesaver {
namespace {

void CrossFade(StyleFrame& f) { BlendBitmaps(*f.ScreenImage, *f.NewImage, f.p); }

// The new picture turns into place about a pivot one pixel outside one of its
// corners: a quarter turn away at progress 0, in place at 100.
template <bool kRight, bool kBottom>
void SwingIn(StyleFrame& f) {
  if (f.p == 100) return;  // in place: the frame routine draws the new picture whole
  const long double angle = (100 - f.p) * std::numbers::pi_v<long double> / 200;
  const std::int32_t cx = kRight ? f.W : -1;
  const std::int32_t cy = kBottom ? f.H : -1;
  RotateBitmap(*f.ScreenImage, *f.NewImage, cx, cy, static_cast<double>(angle));
}

}  // namespace

void AddPixelStyles(StyleSteps& table) {
  table[118] = CrossFade;
  table[119] = SwingIn<false, false>;
  table[120] = SwingIn<false, true>;
  table[121] = SwingIn<true, false>;
  table[122] = SwingIn<true, true>;
}

}  // namespace slidesaver
