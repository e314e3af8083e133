#pragma once

#include <array>

#include "transition/styles.h"

namespace slidesaver {

// Each style family fills its own entries of the dispatch table.
using StyleSteps = std::array<StyleStep, kStyleCount>;

void AddCopyStyles(StyleSteps& table);   // 1..57
void AddPixelStyles(StyleSteps& table);  // 118..122

}  // namespace slidesaver
