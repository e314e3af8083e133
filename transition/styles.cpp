#include "transition/styles.h"

#include "transition/style_families.h"

namespace slidesaver {

StyleGroup GroupOfStyle(int style) {
  if (style == 0) return StyleGroup::Custom;
  if (style <= 57) return StyleGroup::Copy;
  if (style >= 118 && style <= 122) return StyleGroup::Pixel;
  return StyleGroup::Region;
}

const std::array<StyleStep, kStyleCount>& StyleTable() {
  static const StyleSteps table = [] {
    StyleSteps t{};
    AddCopyStyles(t);
    AddPixelStyles(t);
    AddBarStyles(t);
    AddRandomStyles(t);
    AddShapeStyles(t);
    return t;
  }();
  return table;
}

}  // namespace slidesaver
