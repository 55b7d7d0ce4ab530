#include "KelvoShared/Date.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace kelvo {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

Civil civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return Civil{static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

bool isLeapYear(std::int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

unsigned daysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// The range four-digit years can express: 0000-01-01T00:00:00Z up to the end
// of 9999-12-31.
const double kEarliest = static_cast<double>(daysFromCivil(0, 1, 1) * kSecondsPerDay);
const double kLatestExclusive = static_cast<double>(daysFromCivil(10000, 1, 1) * kSecondsPerDay);

std::string format(std::int64_t wholeSeconds, int millis) {
  std::int64_t days = wholeSeconds / kSecondsPerDay;
  std::int64_t secondOfDay = wholeSeconds % kSecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += kSecondsPerDay;
    --days;
  }
  const Civil c = civilFromDays(days);
  char text[40];
  const int h = static_cast<int>(secondOfDay / 3600);
  const int mi = static_cast<int>(secondOfDay / 60 % 60);
  const int s = static_cast<int>(secondOfDay % 60);
  if (millis < 0) {
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(c.year),
                  c.month, c.day, h, mi, s);
  } else {
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<long long>(c.year),
                  c.month, c.day, h, mi, s, millis);
  }
  return text;
}

// Clamps to the expressible range so formatting always gives the RFC 3339
// shape; isInternetDateTimeRepresentable() tells callers who must not clamp.
double clampedSeconds(Date date) {
  if (std::isnan(date.secondsSince1970)) return 0;
  if (date.secondsSince1970 < kEarliest) return kEarliest;
  if (date.secondsSince1970 >= kLatestExclusive) return kLatestExclusive - 0.001;
  return date.secondsSince1970;
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool digits(int count, unsigned& out) {
    out = 0;
    for (int i = 0; i < count; ++i) {
      if (pos_ >= text_.size() || text_[pos_] < '0' || text_[pos_] > '9') return false;
      out = out * 10 + static_cast<unsigned>(text_[pos_++] - '0');
    }
    return true;
  }
  bool literal(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool peekDigit() const { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; }
  char next() { return pos_ < text_.size() ? text_[pos_++] : '\0'; }
  bool atEnd() const { return pos_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

Date Date::now() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return Date{std::chrono::duration<double>(since).count()};
}

bool isInternetDateTimeRepresentable(Date date) {
  return std::isfinite(date.secondsSince1970) && date.secondsSince1970 >= kEarliest &&
         date.secondsSince1970 < kLatestExclusive;
}

std::string formatInternetDateTime(Date date) {
  return format(static_cast<std::int64_t>(std::floor(clampedSeconds(date))), -1);
}

std::string formatInternetDateTimeMillis(Date date) {
  // Through whole microseconds first, so that 0.25 stored as 0.2499999...
  // still prints as .250.
  const auto micros = static_cast<std::int64_t>(std::llround(clampedSeconds(date) * 1e6));
  std::int64_t millis = micros / 1000;
  if (micros % 1000 < 0) --millis;
  std::int64_t seconds = millis / 1000;
  std::int64_t fraction = millis % 1000;
  if (fraction < 0) {
    fraction += 1000;
    --seconds;
  }
  return format(seconds, static_cast<int>(fraction));
}

std::optional<Date> parseInternetDateTime(std::string_view text) {
  Scanner scan(text);
  unsigned year, month, day, hour, minute, second;
  if (!scan.digits(4, year) || !scan.literal('-') || !scan.digits(2, month) || !scan.literal('-') ||
      !scan.digits(2, day) || !scan.literal('T') || !scan.digits(2, hour) || !scan.literal(':') ||
      !scan.digits(2, minute) || !scan.literal(':') || !scan.digits(2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;  // leap seconds (":60") are not accepted either
  }
  double fraction = 0;
  if (scan.literal('.')) {
    if (!scan.peekDigit()) return std::nullopt;
    double scale = 0.1;
    while (scan.peekDigit()) {
      fraction += (scan.next() - '0') * scale;
      scale /= 10;
    }
  }
  std::int64_t offsetSeconds = 0;
  const char zone = scan.next();
  if (zone == '+' || zone == '-') {
    unsigned offsetHours, offsetMinutes;
    if (!scan.digits(2, offsetHours) || !scan.literal(':') || !scan.digits(2, offsetMinutes) ||
        offsetHours > 23 || offsetMinutes > 59) {
      return std::nullopt;
    }
    const auto magnitude = static_cast<std::int64_t>(offsetHours * 3600 + offsetMinutes * 60);
    offsetSeconds = zone == '+' ? magnitude : -magnitude;
  } else if (zone != 'Z') {
    return std::nullopt;
  }
  if (!scan.atEnd()) return std::nullopt;

  const std::int64_t whole =
      daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second - offsetSeconds;
  const Date date{static_cast<double>(whole) + fraction};
  // An offset can push the instant out of the four-digit years; such a date
  // could not be written back, so it is not accepted.
  if (!isInternetDateTimeRepresentable(date)) return std::nullopt;
  return date;
}

}  // namespace kelvo
