#pragma once

#include <string>

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/Style.h"

namespace kelvo::widget {

// What every layout derives from a snapshot in the same way.
struct DisplayRules {
  DisplayRules() = delete;

  // "80%": the percentage to the nearest whole number (halves to even), no
  // locale, no grouping, every digit of any finite value.
  static std::string batteryPercentText(const WidgetSnapshot& snapshot);
  // The part of the battery bar to fill: percentage / 100, not clamped.
  static double barFraction(const WidgetSnapshot& snapshot);
  // Green while charging, orange at 20 % or less, else the accent colour.
  static ui::Color batteryTint(const WidgetSnapshot& snapshot);
  // When the car last reported, else when the snapshot was written.
  static Date reportInstant(const WidgetSnapshot& snapshot);
  // The medium and large title: carTitle unless absent or empty, else "Kelvo".
  static std::string title(const WidgetSnapshot& snapshot);
};

// Present and not empty: the layouts treat an empty text like a missing one.
bool hasText(const std::optional<std::string>& text);

}  // namespace kelvo::widget
