#pragma once

#include <cstddef>
#include <string_view>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "graphics/region.h"

namespace slidesaver {

// A line is laid out up to this many code points; the rest of it is neither
// measured nor drawn. It bounds the work of any line, however long.
inline constexpr std::size_t kMaxLineCodePoints = 65536;

// Text of one line in the font the system finds for the font's name, style and
// size (points at the font's pixels per inch): through fontconfig and FreeType on
// Linux, through GDI on Windows. The extent is the advance
// width and the line height (ascent plus descent) in pixels.
TSize MeasureText(const TTextFont& font, std::string_view utf8);

// Draws one line with its top-left corner (the top of the line box) at (x, y)
// in bitmap coordinates, anti-aliased glyphs blended over what is there,
// cut to the bitmap and to `clip` when given.
void DrawText(Bitmap& dst, std::int32_t x, std::int32_t y, const TTextFont& font,
              std::string_view utf8, const Region* clip = nullptr);

}  // namespace slidesaver
