// Any bytes given to the render tool as a picture file either decode to a
// bitmap of the size the file states or fail with an Error.

#include <cstdint>
#include <span>

#include "base/error.h"
#include "tools/imageio.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const slidesaver::Bitmap b = slidesaver::DecodeImage("input", std::span(data, size));
    if (b.Empty()) __builtin_trap();  // a decoded picture always has pixels
  } catch (const slidesaver::Error&) {
  }
  return 0;
}
