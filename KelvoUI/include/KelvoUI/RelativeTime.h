#pragma once

#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <string>

namespace kelvo::ui {

// How long the unit names are.
enum class RelativeUnitsStyle {
  narrow,       // "8m ago", "in 2d"
  abbreviated,  // "8 min. ago", "in 2 days"
};

// The time from `now` to `instant` (both seconds since 1970) in the locale's
// numeric relative style: "8m ago" for an instant in the past, "in 2h" for
// one in the future. The interval is rounded to whole seconds, then counted
// on the locale's calendar in `zone` from `now` onwards, and the largest unit
// with a non-zero count among years, months, weeks, days, hours, minutes and
// seconds is shown with that whole count (90 minutes is "1h"). No time at all
// reads as the past ("0s ago"). A non-finite interval gives the empty text.
// Makes its own formatter and calendar on every call: safe from any thread.
std::string relativeTimeText(double instantSecondsSince1970, double nowSecondsSince1970,
                             RelativeUnitsStyle style, const icu::Locale& locale, const icu::TimeZone& zone);

// The same in the process's default time zone (TZ).
std::string relativeTimeText(double instantSecondsSince1970, double nowSecondsSince1970,
                             RelativeUnitsStyle style, const icu::Locale& locale);

}  // namespace kelvo::ui
