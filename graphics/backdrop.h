#pragma once

// A calm backdrop for a picture that leaves part of the screen empty: the same picture scaled
// to cover the screen, blurred strongly and darkened.

#include "base/geometry.h"
#include "graphics/bitmap.h"

namespace slidesaver {

// The backdrop is made at 1/kBackdropReduction of the screen's size and scaled up at the end:
// blurred that strongly, nothing finer than that survives anyway.
inline constexpr int kBackdropReduction = 8;

// The size to scale a picture of `picture` to so that it covers the reduced screen, its aspect
// kept; at least the reduced screen's size.
TSize BackdropSourceSize(TSize picture, TSize screen);

// The backdrop of a screen of `screen` from `source`, the picture at BackdropSourceSize: cut to
// the reduced screen around its centre, blurred, darkened, scaled up to `screen`. An empty
// source or screen gives an empty bitmap.
Bitmap Backdrop(const Bitmap& source, TSize screen);

}  // namespace slidesaver
