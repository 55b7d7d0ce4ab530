#include "KelvoUI/RelativeTime.h"

#include <unicode/calendar.h>
#include <unicode/reldatefmt.h>

#include <array>
#include <cmath>
#include <memory>

namespace kelvo::ui {

namespace {

struct UnitStep {
  UCalendarDateFields field;   // counted with Calendar::fieldDifference
  double seconds;              // fixed length, when the calendar cannot count
  URelativeDateTimeUnit unit;  // how the formatter names it
};

// Largest first; months and years have their mean Gregorian lengths.
constexpr std::array<UnitStep, 7> kSteps{{
    {UCAL_YEAR, 31556952, UDAT_REL_UNIT_YEAR},
    {UCAL_MONTH, 2629746, UDAT_REL_UNIT_MONTH},
    {UCAL_WEEK_OF_YEAR, 604800, UDAT_REL_UNIT_WEEK},
    {UCAL_DATE, 86400, UDAT_REL_UNIT_DAY},
    {UCAL_HOUR_OF_DAY, 3600, UDAT_REL_UNIT_HOUR},
    {UCAL_MINUTE, 60, UDAT_REL_UNIT_MINUTE},
    {UCAL_SECOND, 1, UDAT_REL_UNIT_SECOND},
}};

struct Count {
  double value = -0.0;  // negative zero: "0s ago" rather than "in 0s"
  URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
};

// Whole calendar units from `now` to `now + interval`, largest non-zero one.
bool countOnCalendar(double now, double interval, const icu::Locale& locale, const icu::TimeZone& zone,
                     Count& count) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(zone, locale, status));
  if (U_FAILURE(status)) return false;
  calendar->setTime(now * 1000.0, status);
  const UDate target = (now + interval) * 1000.0;
  for (const UnitStep& step : kSteps) {
    const int32_t difference = calendar->fieldDifference(target, step.field, status);
    if (U_FAILURE(status)) return false;
    if (difference != 0) {
      count = {static_cast<double>(difference), step.unit};
      return true;
    }
  }
  return true;
}

// The same with fixed unit lengths, for instants beyond the calendar's range.
Count countFixed(double interval) {
  for (const UnitStep& step : kSteps) {
    const double whole = std::trunc(interval / step.seconds);
    if (whole != 0) return {whole, step.unit};
  }
  return {};
}

}  // namespace

std::string relativeTimeText(double instantSecondsSince1970, double nowSecondsSince1970,
                             RelativeUnitsStyle style, const icu::Locale& locale, const icu::TimeZone& zone) {
  const double interval = std::round(instantSecondsSince1970 - nowSecondsSince1970);
  if (!std::isfinite(interval) || !std::isfinite(nowSecondsSince1970)) return {};

  Count count;
  if (!countOnCalendar(nowSecondsSince1970, interval, locale, zone, count)) count = countFixed(interval);

  UErrorCode status = U_ZERO_ERROR;
  icu::RelativeDateTimeFormatter formatter(
      locale, nullptr, style == RelativeUnitsStyle::narrow ? UDAT_STYLE_NARROW : UDAT_STYLE_SHORT,
      UDISPCTX_CAPITALIZATION_NONE, status);
  icu::UnicodeString text;
  formatter.formatNumeric(count.value, count.unit, text, status);
  std::string utf8;
  if (U_SUCCESS(status)) text.toUTF8String(utf8);
  return utf8;
}

std::string relativeTimeText(double instantSecondsSince1970, double nowSecondsSince1970,
                             RelativeUnitsStyle style, const icu::Locale& locale) {
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
  return relativeTimeText(instantSecondsSince1970, nowSecondsSince1970, style, locale, *zone);
}

}  // namespace kelvo::ui
