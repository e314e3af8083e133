#pragma once

#include "graphics/bitmap.h"

namespace slidesaver {

// The bitmap scaled to width x height (both at least 1) by a separable filter:
// each output pixel is the average of the source area it covers when the size
// shrinks along an axis, and the linear blend of the two nearest source pixels
// when it grows. Integer arithmetic throughout, so the result is the same on
// every machine. An empty source gives an empty bitmap.
Bitmap ResampleBitmap(const Bitmap& source, int width, int height);

}  // namespace slidesaver
