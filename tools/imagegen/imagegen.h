#pragma once

// Pictures and sounds made by the project itself, for demos and tests: procedural bitmaps, a
// JPEG encoder, exact-size JPEG padding and a small melody as a WAV file.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"

namespace slidesaver {

// Encodes a bitmap as a JPEG file (baseline, or progressive with the library's standard scan
// script). `quality` is 1..100; `grayscale` stores the luminance only. Throws Error on an empty
// bitmap, a quality outside 1..100 or an encoder failure ("JPEG error #N").
std::vector<std::uint8_t> EncodeJpeg(const Bitmap& bitmap, int quality = 90, bool grayscale = false,
                                     bool progressive = false);

// Encodes a bitmap as a four-channel JPEG file the way Adobe's programs write CMYK: YCCK
// colour transform, Adobe marker, inverted channels. Throws as EncodeJpeg.
std::vector<std::uint8_t> EncodeAdobeCmykJpeg(const Bitmap& bitmap, int quality = 90);

// Grows a JPEG file to exactly `exactSize` bytes by inserting comment segments (FF FE) right
// after its start marker, as many as needed (one holds at most 65533 bytes of text). An increase
// of 1 to 3 bytes, too small for a segment, is made with fill bytes (FF) before the next marker
// instead. The decoded pixels stay the same. Throws Error when `jpeg` does not start with a
// JPEG start marker or is already larger than `exactSize`.
std::vector<std::uint8_t> PadJpegTo(std::vector<std::uint8_t> jpeg, std::size_t exactSize);

// A pleasant picture that tells demo pictures apart at a glance: one of six styles (gradient,
// rings, stripes, waves, tiles, rays) with its own colours, chosen by `index`, and the number
// `index` drawn big in the middle with square blocks. A negative index counts as 0; a width or
// height below 1 gives an empty bitmap.
Bitmap MakeDemoPicture(int index, int width, int height);

// A deterministic pattern for tests: 16 x 16 blocks (aligned to the top-left corner) of colours
// drawn from a generator seeded with `seed`. Blocks align with JPEG's largest coding unit, so
// the pattern survives JPEG compression well.
Bitmap MakeTestPattern(int width, int height, std::uint32_t seed);

// A 16-bit PCM mono WAV file holding a simple melody of sine tones, `seconds` long (0 < seconds
// <= 600) at `sampleRate` samples per second (8000..192000). Throws Error otherwise.
std::vector<std::uint8_t> MakeWav(double seconds = 3.0, int sampleRate = 22050);

}  // namespace slidesaver
