#pragma once

// Picture files for the tools: PNG and binary PPM in both directions, JPEG for reading.

#include <cstdint>
#include <span>
#include <string>

#include "graphics/bitmap.h"

namespace slidesaver {

// Reads a picture, choosing the format by the file's first bytes: a PNG signature (any colour
// type and bit depth, converted to 8-bit RGB; alpha is dropped, 16-bit samples keep their high
// byte), "P6" (binary PPM with maxval 255) or a JPEG start marker. Throws Error
// "Cannot read <path>: <reason>" when the file cannot be read, has another format, is damaged
// or holds a picture larger than the JPEG decoder's limits.
Bitmap ReadImage(const std::string& path);
// The same for a file's bytes already in memory; `path` names it in messages.
Bitmap DecodeImage(const std::string& path, std::span<const std::uint8_t> data);

// Writes a picture, choosing the format by the extension: ".png" (8-bit RGB) or ".ppm" (P6,
// maxval 255), in either letter case. The file is written beside the target under a temporary
// name and then renamed over it, so a failed write leaves an existing file as it was. Throws
// Error "Cannot write <path>: <reason>" for another extension, an empty bitmap or a failed write.
void WriteImage(const std::string& path, const Bitmap& bitmap);

}  // namespace slidesaver
