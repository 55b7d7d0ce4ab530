#pragma once

// How the widget shows one car: every text, colour and symbol that a face,
// the status line or a server draws from a snapshot, worked out once from the
// snapshot, the moment and the locales. The faces lay these out; nothing else
// derives a display value from the snapshot.

#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/Environment.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/WidgetFamily.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::widget {

// One detail of the large face (and of the bar's tooltip): a label and its value.
struct Detail {
  std::string label;  // localised: "Full in", "Power", "Charger", "Odometer"
  std::string value;  // formatted: "1h35m", "7.4 kW", "Connected", "23,412 km"

  friend bool operator==(const Detail&, const Detail&) = default;
};

struct CarPresentation {
  // What the texts are made for, besides the snapshot.
  struct Context {
    explicit Context(Date now, icu::Locale locale = icu::Locale("en", "US"),
                     icu::Locale ageLocale = icu::Locale("en", "US"))
        : now(now), locale(std::move(locale)), ageLocale(std::move(ageLocale)) {}

    Date now;                                                 // the moment shown
    icu::Locale locale = icu::Locale("en", "US");             // numbers
    icu::Locale ageLocale = icu::Locale("en", "US");          // words and digits of the age
    ui::WidgetFamily family = ui::WidgetFamily::systemSmall;  // the face, which decides the picture
    std::shared_ptr<const icu::TimeZone> timeZone;            // calendar zone of the age; null: TZ

    // The context a face is laid out in.
    static Context of(const ui::Environment& environment);
  };

  // Percent at or below which the battery is low (orange, the bar's class "low").
  static constexpr double kLowBattery = 20;
  // The longest time to full shown, in minutes: a week. Longer, zero or
  // negative estimates are no estimate at all.
  static constexpr std::int64_t kLongestFullIn = 7 * 24 * 60;

  static CarPresentation of(const CarEntry::Car& car, const Context& context);
  // The same without a picture.
  static CarPresentation of(const WidgetSnapshot& snapshot, const Context& context);

  // "80%": the percentage to the nearest whole number (halves to even), no
  // locale, no grouping, every digit of any finite value.
  std::string percentText;
  double barFraction = 0;  // the part of the battery bar to fill: percentage / 100, not clamped
  bool isLow = false;      // at most kLowBattery percent (NaN is not)
  ui::Color tint;          // green while charging, orange when low, else the accent colour
  std::string rangeText;   // "412 km", "256 mi": the snapshot's unit, plain digits

  std::string title;                          // carTitle unless absent or empty, else "Kelvo"
  std::optional<std::string> modelName;       // only when there is one and it is not empty
  std::optional<std::string> registrationNo;  // the same

  bool isCharging = false;  // the status keys CHARGING and SMART_CHARGING
  bool isDriving = false;   // the car is in use
  std::string statusText;   // "In use" while driving, else the status key's display name
  // "bolt.fill" charging, "steeringwheel" in use, "powerplug.fill" plugged
  // in, else "parkingsign.square".
  std::string symbolName;
  ui::Color statusColor;  // of the status label: green while charging, else secondary

  // "1h35m": the time to full while charging, for an estimate of 1 minute to
  // kLongestFullIn; nothing otherwise.
  std::optional<std::string> fullInText;
  std::optional<std::int64_t> fullInMinutes;  // what fullInText says, in minutes
  // The details the snapshot has, in order: "Full in" (fullInText), "Power"
  // (above 0 W), "Charger" (when the plug is known), "Odometer".
  std::vector<Detail> details;

  Date reportedAt;                 // when the car last reported, else when the snapshot was written
  bool isStale = false;            // at least CarProvider::kStaleAfter old
  std::string ageText;             // "8m ago": narrow units, as the small and medium faces show it
  std::string abbreviatedAgeText;  // "8 min. ago": as the large face's footer shows it
  std::string updatedLabel;        // "Updated", before the abbreviated age

  bool showsPicture = false;  // the face shows a picture and the entry has one
};

// When the car last reported, else when the snapshot was written: what the age counts from.
Date reportInstant(const WidgetSnapshot& snapshot);

// Whether the family's face shows the car's picture, so the provider decodes
// it only then.
bool showsCarPicture(ui::WidgetFamily family);

}  // namespace kelvo::widget
