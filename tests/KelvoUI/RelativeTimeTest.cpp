#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "KelvoUI/RelativeTime.h"

using kelvo::ui::relativeTimeText;
using kelvo::ui::RelativeUnitsStyle;

namespace {

constexpr double kNow = 1768478400;  // 2026-01-15T12:00:00Z
constexpr double kMinute = 60, kHour = 3600, kDay = 86400;

std::string text(double instant, double now, RelativeUnitsStyle style = RelativeUnitsStyle::narrow,
                 const char* locale = "en_US", const char* zone = "UTC") {
  std::unique_ptr<icu::TimeZone> tz(icu::TimeZone::createTimeZone(zone));
  return relativeTimeText(instant, now, style, icu::Locale(locale), *tz);
}

TEST(RelativeTimeTest, EachUnitInBothStylesAndLocales) {
  struct Case {
    double offset;
    const char *enNarrow, *enShort, *deNarrow, *deShort;
  };
  const Case cases[] = {
      {-8, "8s ago", "8 sec. ago", "vor 8 s", "vor 8 Sek."},
      {-8 * kMinute, "8m ago", "8 min. ago", "vor 8 m", "vor 8 Min."},
      {-3 * kHour, "3h ago", "3 hr. ago", "vor 3 Std.", "vor 3 Std."},
      {-2 * kDay, "2d ago", "2 days ago", "vor 2 Tagen", "vor 2 Tagen"},
      {-7 * kDay, "1w ago", "1 wk. ago", "vor 1 Wo.", "vor 1 Woche"},
      {-365 * kDay, "1y ago", "1 yr. ago", "vor 1 Jahr", "vor 1 Jahr"},  // 2025-01-15, one calendar year
      {5 * kMinute, "in 5m", "in 5 min.", "in 5 m", "in 5 Min."},
      {0, "0s ago", "0 sec. ago", "vor 0 s", "vor 0 Sek."},  // no time reads as the past
  };
  const auto narrow = RelativeUnitsStyle::narrow, abbreviated = RelativeUnitsStyle::abbreviated;
  for (const Case& c : cases) {
    EXPECT_EQ(text(kNow + c.offset, kNow, narrow, "en_US"), c.enNarrow);
    EXPECT_EQ(text(kNow + c.offset, kNow, abbreviated, "en_US"), c.enShort);
    EXPECT_EQ(text(kNow + c.offset, kNow, narrow, "de_DE"), c.deNarrow);
    EXPECT_EQ(text(kNow + c.offset, kNow, abbreviated, "de_DE"), c.deShort);
  }
  // Within the hour the process's own time zone cannot matter.
  EXPECT_EQ(relativeTimeText(kNow - 8 * kMinute, kNow, narrow, icu::Locale("en", "US")), "8m ago");
}

TEST(RelativeTimeTest, LargestNonZeroUnitAfterRoundingToWholeSeconds) {
  using Cases = std::vector<std::pair<double, const char*>>;
  for (const Cases& group : {
           Cases{{-59.6, "1m ago"}, {-59.4, "59s ago"}, {0.6, "in 1s"}, {0.4, "0s ago"}},
           Cases{{-(59 * kMinute + 59), "59m ago"}, {-90 * kMinute, "1h ago"}, {-(kDay - 1), "23h ago"}},
           Cases{{-kDay, "1d ago"}, {-6 * kDay, "6d ago"}},
           // Unusable instants give no text; ones beyond the calendar's range count fixed-length years.
           Cases{{NAN, ""}, {INFINITY, ""}, {-INFINITY, ""}},
           Cases{{1e15, "in 31,688,738y"}, {-1e15, "31,688,738y ago"}},
       }) {
    for (const auto& [offset, expected] : group) EXPECT_EQ(text(kNow + offset, kNow), expected) << offset;
  }
}

TEST(RelativeTimeTest, MonthsAndDaysFollowTheCalendarAndTimeZone) {
  // 2026-01-31 to 2026-03-01 is 29 days but one calendar month; back to 2026-02-02 it is 27 days.
  const double jan31 = 1769817600, mar1 = 1772323200;
  EXPECT_EQ(text(jan31, mar1), "1mo ago");
  EXPECT_EQ(text(mar1, jan31, RelativeUnitsStyle::abbreviated), "in 1 mo.");
  EXPECT_EQ(text(jan31 - kDay, mar1), "1mo ago");
  EXPECT_EQ(text(jan31 + 2 * kDay, mar1), "3w ago");
  // Noon to noon across the start of summer time in Berlin: 23 hours, one day.
  const double before = 1774695600, after = 1774778400;
  EXPECT_EQ(text(before, after, RelativeUnitsStyle::narrow, "en_US", "Europe/Berlin"), "1d ago");
  EXPECT_EQ(text(before, after), "23h ago");
}

}  // namespace
