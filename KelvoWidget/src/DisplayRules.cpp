#include "KelvoWidget/DisplayRules.h"

#include <cstdio>

namespace kelvo::widget {

std::string DisplayRules::batteryPercentText(const WidgetSnapshot& snapshot) {
  // printf rounds an exact half to the even neighbour and a %.0f conversion
  // has neither a decimal separator nor grouping, whatever the locale.
  char text[64];
  std::snprintf(text, sizeof text, "%.0f%%", snapshot.batteryPercentage);
  return text;
}

double DisplayRules::barFraction(const WidgetSnapshot& snapshot) { return snapshot.batteryPercentage / 100; }

ui::Color DisplayRules::batteryTint(const WidgetSnapshot& snapshot) {
  if (snapshot.isCharging()) return ui::Color::green;
  if (snapshot.batteryPercentage <= 20) return ui::Color::orange;  // NaN is not <= 20
  return ui::Color::accentColor;
}

Date DisplayRules::reportInstant(const WidgetSnapshot& snapshot) {
  return snapshot.carReportedAt.value_or(snapshot.writtenAt);
}

std::string DisplayRules::title(const WidgetSnapshot& snapshot) {
  return hasText(snapshot.carTitle) ? *snapshot.carTitle : "Kelvo";
}

bool hasText(const std::optional<std::string>& text) { return text && !text->empty(); }

}  // namespace kelvo::widget
