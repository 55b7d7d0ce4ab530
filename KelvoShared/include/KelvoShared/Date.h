#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

// A point in time: seconds since 1970-01-01T00:00:00Z, with sub-second
// precision. Carries no time zone.
struct Date {
  double secondsSince1970 = 0;  // seconds since the Unix epoch

  static Date now();
  Date addingTimeInterval(double seconds) const { return Date{secondsSince1970 + seconds}; }
  double timeIntervalSince(Date other) const { return secondsSince1970 - other.secondsSince1970; }

  friend bool operator==(Date a, Date b) { return a.secondsSince1970 == b.secondsSince1970; }
  friend auto operator<=>(Date a, Date b) { return a.secondsSince1970 <=> b.secondsSince1970; }
};

// True when the date is finite and falls in the four-digit years
// 0000-01-01T00:00:00Z ... 9999-12-31T23:59:59.999Z, the only dates the text
// form can carry. The formatters clamp anything else into that range.
bool isInternetDateTimeRepresentable(Date date);

// RFC 3339 in UTC with whole seconds and "Z", as snapshot.json holds it:
// 2026-01-15T08:30:00Z. Fractions are dropped (rounded toward the past).
std::string formatInternetDateTime(Date date);

// The same with milliseconds (2026-01-15T08:30:00.250Z), as the host prints.
std::string formatInternetDateTimeMillis(Date date);

// Strict RFC 3339 date-time: full date, upper-case "T", full time, and "Z" or
// a numeric offset (+01:00); an optional fraction of a second. Days must exist
// in their month; leap seconds (:60), lower-case "t"/"z", a date alone, and an
// instant outside the four-digit years give nothing.
std::optional<Date> parseInternetDateTime(std::string_view text);

}  // namespace kelvo
