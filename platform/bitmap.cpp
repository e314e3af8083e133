#include "platform/bitmap.h"

namespace slidesaver {

Bitmap::Bitmap(int width, int height)
    : width_(width > 0 && height > 0 ? width : 0),
      height_(width > 0 && height > 0 ? height : 0),
      pixels_(static_cast<std::size_t>(width_) * 3 * static_cast<std::size_t>(height_), 0) {}

}  // namespace slidesaver
