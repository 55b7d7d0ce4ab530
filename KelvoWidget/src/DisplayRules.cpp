#include "KelvoWidget/DisplayRules.h"

#include <array>
#include <charconv>
#include <system_error>

namespace kelvo::widget {

std::string DisplayRules::batteryPercentText(const WidgetSnapshot& snapshot) {
  // Like printf's %.0f: an exact half rounds to the even neighbour, and there
  // is neither a decimal separator nor grouping, whatever the locale. Room for
  // the 309 digits of the largest doubles.
  std::array<char, 512> digits;
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(),
                                          snapshot.batteryPercentage, std::chars_format::fixed, 0);
  if (error != std::errc{}) return "%";
  return std::string(digits.data(), end) + "%";
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
