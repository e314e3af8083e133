#pragma once

#include <array>

#include "transition/styles.h"

namespace slidesaver {

// Each style family fills its own entries of the dispatch table.
using StyleSteps = std::array<StyleStep, kStyleCount>;

void AddCopyStyles(StyleSteps& table);   // 1..57
void AddPixelStyles(StyleSteps& table);  // 118..122
void AddBarStyles(StyleSteps& table);     // 60..64, 71..75, 86..99
void AddRandomStyles(StyleSteps& table);  // 65..68, 76..79, 100..109, 123..127
void AddShapeStyles(StyleSteps& table);   // 58, 59, 69, 70, 80..85, 110..117

}  // namespace slidesaver
