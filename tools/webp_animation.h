#pragma once

// Animated WebP files for the tools, through libwebp's animation encoder.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/bitmap.h"

namespace slidesaver {

// One picture of an animation and how long it stands, in milliseconds.
struct AnimationFrame {
  Bitmap picture;
  int durationMs = 0;
};

// The frames (all of one size, at least one) as a lossy WebP animation that loops for ever,
// encoded at `quality` (0..100) on the calling thread only, so that the same frames always give
// the same bytes. Each frame shown stays within the encoder's lossy tolerance of the real one
// (besides the loss of the coding itself); a frame that moved no pixel further than that from
// the one before is merged into it, which then stands for as long as both. Throws Error when
// the encoder fails.
std::vector<std::uint8_t> EncodeWebpAnimation(const std::vector<AnimationFrame>& frames,
                                              float quality);

// Writes bytes to a file, replacing it only once complete. Throws Error
// "Cannot write <path>: <reason>".
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace slidesaver
