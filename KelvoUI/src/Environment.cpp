#include "KelvoUI/Environment.h"

namespace kelvo::ui {

Size widgetSize(WidgetFamily family) {
  switch (family) {
    case WidgetFamily::systemSmall:
      return {170, 170};
    case WidgetFamily::systemMedium:
      return {364, 170};
    case WidgetFamily::systemLarge:
      return {364, 382};
    case WidgetFamily::systemExtraLarge:
      return {715, 382};
  }
  return {170, 170};
}

const char* toString(WidgetFamily family) {
  switch (family) {
    case WidgetFamily::systemSmall:
      return "systemSmall";
    case WidgetFamily::systemMedium:
      return "systemMedium";
    case WidgetFamily::systemLarge:
      return "systemLarge";
    case WidgetFamily::systemExtraLarge:
      return "systemExtraLarge";
  }
  return "systemSmall";
}

LayoutDirection layoutDirectionFor(const icu::Locale& language) {
  return language.isRightToLeft() ? LayoutDirection::rightToLeft : LayoutDirection::leftToRight;
}

const char* toString(LayoutDirection direction) {
  return direction == LayoutDirection::rightToLeft ? "rightToLeft" : "leftToRight";
}

}  // namespace kelvo::ui
