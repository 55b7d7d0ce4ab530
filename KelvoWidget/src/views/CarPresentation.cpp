#include "KelvoWidget/CarPresentation.h"

#include <array>
#include <charconv>
#include <system_error>

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::widget {

namespace {

std::string percentTextOf(double percentage) {
  // Like printf's %.0f: an exact half rounds to the even neighbour, and there
  // is neither a decimal separator nor grouping, whatever the locale. Room for
  // the 309 digits of the largest doubles.
  std::array<char, 512> digits;
  const auto [end, error] =
      std::to_chars(digits.data(), digits.data() + digits.size(), percentage, std::chars_format::fixed, 0);
  if (error != std::errc{}) return "%";
  return std::string(digits.data(), end) + "%";
}

// Present and not empty: the faces treat an empty text like a missing one.
std::optional<std::string> nonEmpty(const std::optional<std::string>& text) {
  return text && !text->empty() ? text : std::nullopt;
}

std::string symbolNameOf(const WidgetSnapshot& snapshot) {
  if (snapshot.isCharging()) return "bolt.fill";
  if (snapshot.isDriving) return "steeringwheel";
  if (snapshot.isPluggedIn.value_or(false)) return "powerplug.fill";
  return "parkingsign.square";
}

std::optional<std::int64_t> fullInMinutesOf(const WidgetSnapshot& snapshot) {
  if (!snapshot.isCharging() || !snapshot.fullInMinutes) return std::nullopt;
  const std::int64_t minutes = *snapshot.fullInMinutes;
  if (minutes < 1 || minutes > CarPresentation::kLongestFullIn) return std::nullopt;
  return minutes;
}

std::vector<Detail> detailsOf(const WidgetSnapshot& snapshot, const std::optional<std::string>& fullIn,
                              const icu::Locale& locale) {
  std::vector<Detail> list;
  if (fullIn) {
    // TRANSLATORS: Label before the time left until the battery is full, e.g. "Full in 2h5m".
    list.push_back({L("Full in"), *fullIn});
  }
  if (snapshot.chargingPowerWatts && *snapshot.chargingPowerWatts > 0) {
    // TRANSLATORS: Label of the charging power, e.g. "Power 7.4 kW".
    list.push_back({L("Power"), CarFormat::kilowatts(*snapshot.chargingPowerWatts, locale)});
  }
  if (snapshot.isPluggedIn) {
    // TRANSLATORS: Value of "Charger": the charging cable is plugged in.
    const std::string connected = L("Connected");
    // TRANSLATORS: Value of "Charger": the charging cable is not plugged in.
    const std::string disconnected = L("Disconnected");
    // TRANSLATORS: Label of whether the charging cable is plugged in.
    list.push_back({L("Charger"), *snapshot.isPluggedIn ? connected : disconnected});
  }
  if (snapshot.odometerKm) {
    // TRANSLATORS: Label of the car's total distance driven.
    list.push_back({L("Odometer"), CarFormat::distance(*snapshot.odometerKm, CarFormat::Grouping::grouped,
                                                       snapshot.unit, locale)});
  }
  return list;
}

std::string ageTextOf(Date reported, const CarPresentation::Context& context, ui::RelativeUnitsStyle style) {
  if (context.timeZone) {
    return ui::relativeTimeText(reported.secondsSince1970, context.now.secondsSince1970, style,
                                context.ageLocale, *context.timeZone);
  }
  return ui::relativeTimeText(reported.secondsSince1970, context.now.secondsSince1970, style,
                              context.ageLocale);
}

}  // namespace

CarPresentation::Context CarPresentation::Context::of(const ui::Environment& environment) {
  Context context(Date{environment.now}, environment.locale, environment.relativeTimeLocale);
  context.family = environment.widgetFamily;
  context.timeZone = environment.timeZone;
  return context;
}

CarPresentation CarPresentation::of(const WidgetSnapshot& snapshot, const Context& context) {
  return of(CarEntry::Car{snapshot, std::nullopt}, context);
}

CarPresentation CarPresentation::of(const CarEntry::Car& car, const Context& context) {
  const WidgetSnapshot& snapshot = car.snapshot;
  CarPresentation p;
  p.percentText = percentTextOf(snapshot.batteryPercentage);
  p.barFraction = snapshot.batteryPercentage / 100;
  p.isLow = snapshot.batteryPercentage <= kLowBattery;  // NaN is not <= 20
  p.isCharging = snapshot.isCharging();
  p.isDriving = snapshot.isDriving;
  p.tint = p.isCharging ? ui::Color::green : p.isLow ? ui::Color::orange : ui::Color::accentColor;
  p.rangeText = snapshot.rangeText();

  p.title = nonEmpty(snapshot.carTitle).value_or("Kelvo");
  p.modelName = nonEmpty(snapshot.modelName);
  p.registrationNo = nonEmpty(snapshot.registrationNo);

  // statusText is already localised; the faces show it verbatim.
  p.statusText = snapshot.statusText();
  p.symbolName = symbolNameOf(snapshot);
  p.statusColor = p.isCharging ? ui::Color::green : ui::Color::secondary;

  p.fullInMinutes = fullInMinutesOf(snapshot);
  if (p.fullInMinutes) p.fullInText = CarFormat::shortDuration(*p.fullInMinutes);
  p.details = detailsOf(snapshot, p.fullInText, context.locale);

  p.reportedAt = reportInstant(snapshot);
  p.isStale = context.now.timeIntervalSince(p.reportedAt) >= CarProvider::kStaleAfter;
  p.ageText = ageTextOf(p.reportedAt, context, ui::RelativeUnitsStyle::narrow);
  p.abbreviatedAgeText = ageTextOf(p.reportedAt, context, ui::RelativeUnitsStyle::abbreviated);
  // TRANSLATORS: Label before how long ago the car's data was updated, e.g.
  // "Updated 8m ago".
  p.updatedLabel = L("Updated");

  p.showsPicture = showsCarPicture(context.family) && car.carImage.has_value();
  return p;
}

Date reportInstant(const WidgetSnapshot& snapshot) {
  return snapshot.carReportedAt.value_or(snapshot.writtenAt);
}

bool showsCarPicture(ui::WidgetFamily family) {
  switch (family) {
    case ui::WidgetFamily::systemSmall:
      return false;
    case ui::WidgetFamily::systemMedium:
    case ui::WidgetFamily::systemLarge:
    case ui::WidgetFamily::systemExtraLarge:
      return true;
  }
  unreachable(__func__);
}

}  // namespace kelvo::widget
