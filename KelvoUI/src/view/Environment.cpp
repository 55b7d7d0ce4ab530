#include "KelvoUI/Environment.h"

namespace kelvo::ui {

LayoutDirection layoutDirectionFor(const icu::Locale& language) {
  return language.isRightToLeft() ? LayoutDirection::rightToLeft : LayoutDirection::leftToRight;
}

const char* toString(LayoutDirection direction) {
  return direction == LayoutDirection::rightToLeft ? "rightToLeft" : "leftToRight";
}

}  // namespace kelvo::ui
