#pragma once

// A calm backdrop for a picture that leaves part of the screen empty: the same picture scaled
// to cover the screen, blurred strongly and darkened.

#include "base/geometry.h"
#include "graphics/bitmap.h"

namespace slidesaver {

// The backdrop is made at 1/kBackdropReduction of the screen's size and scaled up at the end:
// blurred that strongly, nothing finer than that survives anyway.
inline constexpr int kBackdropReduction = 8;

// The backdrop of a screen of `screen` for `picture` (what is shown of it): the picture scaled to
// cover the reduced screen and cut around its centre, blurred, darkened and scaled up to
// `screen`. An empty picture or screen gives an empty bitmap.
Bitmap Backdrop(const Bitmap& picture, TSize screen);

}  // namespace slidesaver
