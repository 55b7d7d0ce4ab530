#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "KelvoUI/RelativeTime.h"

using kelvo::ui::relativeTimeText;
using kelvo::ui::RelativeUnitsStyle;

namespace {

constexpr double kNow = 1768478400;  // 2026-01-15T12:00:00Z
constexpr double kMinute = 60, kHour = 3600, kDay = 86400;

const icu::Locale kEnglishUS("en", "US");
const icu::Locale kGerman("de", "DE");

std::string text(double offset, RelativeUnitsStyle style, const icu::Locale& locale, double now = kNow) {
  std::unique_ptr<icu::TimeZone> utc(icu::TimeZone::createTimeZone("UTC"));
  return relativeTimeText(now + offset, now, style, locale, *utc);
}

std::string narrow(double offset, const icu::Locale& locale = kEnglishUS) {
  return text(offset, RelativeUnitsStyle::narrow, locale);
}
std::string abbreviated(double offset, const icu::Locale& locale = kEnglishUS) {
  return text(offset, RelativeUnitsStyle::abbreviated, locale);
}

}  // namespace

TEST(RelativeTimeTest, PastInEnglishUS) {
  EXPECT_EQ(narrow(-8), "8s ago");
  EXPECT_EQ(abbreviated(-8), "8 sec. ago");
  EXPECT_EQ(narrow(-8 * kMinute), "8m ago");
  EXPECT_EQ(abbreviated(-8 * kMinute), "8 min. ago");
  EXPECT_EQ(narrow(-3 * kHour), "3h ago");
  EXPECT_EQ(abbreviated(-3 * kHour), "3 hr. ago");
  EXPECT_EQ(narrow(-2 * kDay), "2d ago");
  EXPECT_EQ(abbreviated(-2 * kDay), "2 days ago");
  // Within the hour the process's own time zone cannot matter.
  EXPECT_EQ(relativeTimeText(kNow - 8 * kMinute, kNow, RelativeUnitsStyle::narrow, kEnglishUS), "8m ago");
}

TEST(RelativeTimeTest, PastInGerman) {
  EXPECT_EQ(narrow(-8, kGerman), "vor 8 s");
  EXPECT_EQ(abbreviated(-8, kGerman), "vor 8 Sek.");
  EXPECT_EQ(narrow(-8 * kMinute, kGerman), "vor 8 m");
  EXPECT_EQ(abbreviated(-8 * kMinute, kGerman), "vor 8 Min.");
  EXPECT_EQ(narrow(-3 * kHour, kGerman), "vor 3 Std.");
  EXPECT_EQ(abbreviated(-3 * kHour, kGerman), "vor 3 Std.");
  EXPECT_EQ(narrow(-2 * kDay, kGerman), "vor 2 Tagen");
  EXPECT_EQ(abbreviated(-2 * kDay, kGerman), "vor 2 Tagen");
}

TEST(RelativeTimeTest, FutureInstants) {
  EXPECT_EQ(narrow(5 * kMinute), "in 5m");
  EXPECT_EQ(abbreviated(5 * kMinute), "in 5 min.");
  EXPECT_EQ(narrow(5 * kMinute, kGerman), "in 5 m");
  EXPECT_EQ(abbreviated(5 * kMinute, kGerman), "in 5 Min.");
  EXPECT_EQ(narrow(2 * kDay), "in 2d");
  EXPECT_EQ(abbreviated(2 * kDay, kGerman), "in 2 Tagen");
}

TEST(RelativeTimeTest, LargestNonZeroUnitWithItsWholeCount) {
  EXPECT_EQ(narrow(-90 * kMinute), "1h ago");
  EXPECT_EQ(narrow(-(kDay - 1)), "23h ago");
  EXPECT_EQ(narrow(-kDay), "1d ago");
  EXPECT_EQ(narrow(-(59 * kMinute + 59)), "59m ago");
  EXPECT_EQ(narrow(-6 * kDay), "6d ago");
  EXPECT_EQ(narrow(-7 * kDay), "1w ago");
  EXPECT_EQ(abbreviated(-7 * kDay), "1 wk. ago");
  EXPECT_EQ(narrow(-365 * kDay), "1y ago");  // 2025-01-15, one calendar year
  EXPECT_EQ(abbreviated(-365 * kDay, kGerman), "vor 1 Jahr");
}

TEST(RelativeTimeTest, RoundsToWholeSecondsFirst) {
  EXPECT_EQ(narrow(-59.6), "1m ago");
  EXPECT_EQ(narrow(-59.4), "59s ago");
  EXPECT_EQ(narrow(0.6), "in 1s");
  EXPECT_EQ(narrow(-0.4), "0s ago");
}

TEST(RelativeTimeTest, NoTimeReadsAsThePast) {
  EXPECT_EQ(narrow(0), "0s ago");
  EXPECT_EQ(narrow(0.4), "0s ago");
  EXPECT_EQ(abbreviated(0), "0 sec. ago");
  EXPECT_EQ(abbreviated(0, kGerman), "vor 0 Sek.");
}

TEST(RelativeTimeTest, MonthsAndYearsAreCalendarUnits) {
  // 2026-01-31 to 2026-03-01 is 29 days but one calendar month.
  std::unique_ptr<icu::TimeZone> utc(icu::TimeZone::createTimeZone("UTC"));
  EXPECT_EQ(relativeTimeText(1769817600, 1772323200, RelativeUnitsStyle::narrow, kEnglishUS, *utc),
            "1mo ago");
  EXPECT_EQ(relativeTimeText(1772323200, 1769817600, RelativeUnitsStyle::abbreviated, kEnglishUS, *utc),
            "in 1 mo.");
  EXPECT_EQ(relativeTimeText(1769817600 - kDay, 1772323200, RelativeUnitsStyle::narrow, kEnglishUS, *utc),
            "1mo ago");
  // From 2026-03-01 back to 2026-02-02: 27 days, short of a month.
  EXPECT_EQ(relativeTimeText(1769817600 + 2 * kDay, 1772323200, RelativeUnitsStyle::narrow, kEnglishUS, *utc),
            "3w ago");
}

TEST(RelativeTimeTest, DaysFollowTheTimeZone) {
  // Noon to noon across the start of summer time in Berlin: 23 hours, one day.
  const double before = 1774695600;  // 2026-03-28T12:00:00+01:00
  const double after = 1774778400;   // 2026-03-29T12:00:00+02:00
  std::unique_ptr<icu::TimeZone> berlin(icu::TimeZone::createTimeZone("Europe/Berlin"));
  std::unique_ptr<icu::TimeZone> utc(icu::TimeZone::createTimeZone("UTC"));
  EXPECT_EQ(relativeTimeText(before, after, RelativeUnitsStyle::narrow, kEnglishUS, *berlin), "1d ago");
  EXPECT_EQ(relativeTimeText(before, after, RelativeUnitsStyle::narrow, kEnglishUS, *utc), "23h ago");
}

TEST(RelativeTimeTest, UnusableInstants) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(narrow(nan), "");
  EXPECT_EQ(narrow(inf), "");
  EXPECT_EQ(narrow(-inf), "");
  // Far beyond the calendar's range: still a text, counted in fixed-length years.
  EXPECT_EQ(narrow(1e15), "in 31,688,738y");
  EXPECT_EQ(narrow(-1e15), "31,688,738y ago");
}

TEST(RelativeTimeTest, ManyThreadsAtOnce) {
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures, t] {
      for (int i = 0; i < 200; ++i) {
        if (narrow(-8 * kMinute) != "8m ago") ++failures[t];
        if (abbreviated(2 * kDay, kGerman) != "in 2 Tagen") ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}
