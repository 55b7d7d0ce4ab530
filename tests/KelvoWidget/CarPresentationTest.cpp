#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/CarPresentation.h"
#include "KelvoWidget/CarSummary.h"
#include "KelvoWidget/RefreshSchedule.h"
#include "LocaleEnvironment.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using testing::Json;

WidgetSnapshot withBattery(double percent, std::string status = "IDLE") {
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.batteryPercentage = percent;
  snapshot.statusKey = std::move(status);
  return snapshot;
}

CarPresentation presented(const WidgetSnapshot& snapshot) {
  return CarPresentation::of(snapshot, CarPresentation::Context(testing::kNow));
}

TEST(CarPresentation, PercentTextRoundsHalvesToEvenWithoutLocaleAndKeepsEveryDigit) {
  // The value, the text's start and its length (the digits and "%").
  // clang-format off
  for (const auto& [value, start, size] : std::vector<std::tuple<double, std::string, std::size_t>>{{80, "80%", 3}, {99.5, "100%", 4},
           {98.5, "98%", 3}, {72.4, "72%", 3}, {0, "0%", 2}, {12345, "12345%", 6} /* no grouping */, {1e22, "10000000000000000000000%", 24},
           {1e300, "1000000000000000052504760255204420248704", 302}, {-1e308, "-1000000000000000010979063629440455417404", 311},
           {std::numeric_limits<double>::max(), "17976931348623157", 310}}) {
    const std::string text = presented(withBattery(value)).percentText;
    EXPECT_TRUE(text.size() == size && text.starts_with(start) && text.ends_with("%")) << value << ": " << text;
  }
  // clang-format on
  // And the figure stays one line in every family.
  for (const auto family :
       {ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium, ui::WidgetFamily::systemLarge}) {
    const auto figures =
        testing::findAll(testing::dumpSnapshot(withBattery(1e308), family),
                         [](const Json& n) { return n.value("text", "").starts_with("1000000000"); });
    ASSERT_EQ(figures.size(), 1u) << ui::toString(family);
    EXPECT_TRUE(figures[0]["lines"] == 1 && figures[0]["truncated"] == true) << ui::toString(family);
  }
}

TEST(CarPresentation, TintIsGreenWhileChargingElseOrangeWhenLowAtTwentyOrLess) {
  // clang-format off
  for (const auto& [percent, status, tint, low] : std::vector<std::tuple<double, std::string, std::string, bool>>{{20, "IDLE", "orange", true},
           {20.5, "IDLE", "accentColor", false}, {5, "CHARGING", "green", true}, {90, "SMART_CHARGING", "green", false}, {NAN, "IDLE", "accentColor", false}}) {
    const CarPresentation car = presented(withBattery(percent, status));
    EXPECT_TRUE(car.tint.name == tint && car.isLow == low) << percent << " " << status;
  }
  // clang-format on
}

TEST(CarSummary, SaysWhatTheFacesShowWithTheTimeToFullInWordsAndTheLanguagesComma) {
  // clang-format off
  for (const auto& [status, minutes, language, sentence] : std::vector<std::tuple<std::string, std::int64_t, const char*, std::string>>{
           {"CHARGING", 95, "en", "64%, 318 km, Charging, Full in 1 hr, 35 min, Updated 10 min. ago"},
           {"CHARGING", 120, "en", "64%, 318 km, Charging, Full in 2 hr, Updated 10 min. ago"},
           {"SMART_CHARGING", 45, "en", "64%, 318 km, Smart charging, Full in 45 min, Updated 10 min. ago"},
           {"CHARGING", 0, "en", "64%, 318 km, Charging, Updated 10 min. ago"},  // no estimate
           {"IDLE", 95, "en", "64%, 318 km, Idle, Updated 10 min. ago"},     // not charging: no time to full
           {"CHARGING", 95, "ja", "64%、318 km、充電中、満充電まで 1 時間 35 分、最終更新 10 分前"}}) {
    const kelvo::testing::LocaleEnvironment use(language, *language == 'j' ? "ja_JP.UTF-8" : "en_US.UTF-8");
    WidgetSnapshot snapshot = withBattery(64, status);
    snapshot.fullInMinutes = minutes;
    const CarPresentation::Context context(testing::kNow, icu::Locale(language), icu::Locale(language));
    EXPECT_EQ(spokenSummary(CarEntry(testing::kNow, snapshot), context), sentence) << status << " " << minutes;
  }
  // clang-format on
  EXPECT_EQ(spokenSummary(CarEntry(), CarPresentation::Context(testing::kNow)), std::nullopt);
}

// A car that reported `age` seconds before kNow.
WidgetSnapshot reportedAgo(double age) {
  WidgetSnapshot snapshot = testing::chargingSnapshot();
  snapshot.carReportedAt = Date{testing::kNow.secondsSince1970 - age};
  return snapshot;
}

TEST(RefreshSchedule, NextChangeIsTheAgeTextTheDataTurningStaleALaterEntryOrTheReload) {
  using Reason = Refresh::Reason;
  const double now = testing::kNow.secondsSince1970;
  const Date reload{now + 900};
  // An entry dated `at` of a car that reported `age` seconds before now (none: a problem).
  const auto entry = [](double at, std::optional<double> age) {
    return age ? CarEntry{Date{at}, reportedAgo(*age)} : CarEntry{Date{at}, WidgetProblem{}};
  };
  const RefreshScope both, abbreviated{icu::Locale("en", "US"), {ui::RelativeUnitsStyle::abbreviated}},
      none{icu::Locale("en", "US"), {}};
  // Seconds since the car reported, what is drawn, when and why it changes next, and whether it is stale now.
  // clang-format off
  for (const auto& [age, scope, in, reason, stale] : std::vector<std::tuple<double, RefreshScope, double, Reason, bool>>{
           {10, both, 51, Reason::ageText, false} /* "10s ago" runs until "1m ago" (a second past, as every probe) */,
           {60, both, 61, Reason::ageText, false} /* "1m ago" until "2m ago" */, {119.4, both, 1.6, Reason::ageText, false} /* ...which is close */,
           {59 * 60 + 30, both, 31, Reason::ageText, true} /* "59m ago" until "1h ago" */,
           {2 * 3600, both, 900, Reason::reload, true} /* "2h ago" holds past the reload */,
           {-30, both, 31, Reason::ageText, false} /* "in 30s" until "1s ago" */, {-150, both, 31, Reason::ageText, false} /* "in 2m" until "in 1m" */,
           {-3600, both, 1, Reason::ageText, false} /* "in 1h" until "in 59m": a clock ahead is not stale */,
           {1790, both, 10, Reason::stale, false} /* before "30m ago" reads "31m ago" */, {1799.5, none, 0.5, Reason::stale, false},
           {1000, none, 800, Reason::stale, false}, {100, none, 900, Reason::reload, false}, {1800, none, 900, Reason::reload, true},
           {2 * 3600 + 40 * 60, abbreviated, 900, Reason::reload, true} /* "2 hr. ago" holds */, {2 * 3600 + 50 * 60, abbreviated, 601, Reason::ageText, true}}) {
    // clang-format on
    const Refresh next = nextRefresh(Timeline{{entry(now, age)}, {reload}}, Date{now}, scope);
    EXPECT_NEAR(next.at.secondsSince1970 - now, in, 1e-6) << "age " << age;
    EXPECT_TRUE(next.reason == reason && presented(reportedAgo(age)).isStale == stale) << "age " << age;
  }
  // A later entry is drawn at its date; before it, the current one is the earlier.
  const Timeline two{{entry(now - 5, 7200), entry(now + 100, -100)}, {reload}};
  EXPECT_EQ(nextRefresh(two, Date{now}), (Refresh{Date{now + 100}, Reason::entry}));
  EXPECT_TRUE(&currentEntry(two, Date{now}) == &two.entries[0] &&
              &currentEntry(two, Date{now + 100}) == &two.entries[1]);
  // No snapshot, no age: only the reload. Without a report the writing counts.
  EXPECT_EQ(nextRefresh(entry(now, {}), Date{now}, reload), (Refresh{reload, Reason::reload}));
  WidgetSnapshot written = reportedAgo(0);
  written.carReportedAt.reset();
  EXPECT_EQ(presented(written).reportedAt, written.writtenAt);
}

TEST(BatteryBarFill, FollowsTheFractionWithinTheTrackAndKeepsASliver) {
  // clang-format off
  for (const auto& [track, fraction, width] : std::vector<std::array<double, 3>>{{120, 0.5, 60}, {120, 0, 2}, {120, -0.2, 2},
           {120, 1.3, 120}, {120, 1, 120}, {1.5, 0.5, 2} /* narrower than the sliver */, {120, NAN, 2}}) {
    EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(track, fraction), width) << track << " " << fraction;
  }
  // clang-format on
}

TEST(StatusLabel, ShowsSymbolColourAndTextInTheCaptionStyle) {
  // clang-format off
  for (const auto& [statusKey, isDriving, isPluggedIn, symbol, colour, text] : std::vector<std::tuple<const char*, bool, std::optional<bool>, const char*, const char*, const char*>>{
           {"CHARGING", false, true, "bolt.fill", "green", "Charging"}, {"SMART_CHARGING", true, true, "bolt.fill", "green", "In use"},  // charging wins over driving
           {"IDLE", true, std::nullopt, "steeringwheel", "secondary", "In use"}, {"DONE", false, true, "powerplug.fill", "secondary", "Done"},
           {"IDLE", false, false, "parkingsign.square", "secondary", "Idle"}, {"IDLE", false, std::nullopt, "parkingsign.square", "secondary", "Idle"}}) {
    // clang-format on
    WidgetSnapshot snapshot = testing::sampleSnapshot();
    snapshot.statusKey = statusKey;
    snapshot.isDriving = isDriving;
    snapshot.isPluggedIn = isPluggedIn;
    const Json label =
        testing::namedView(testing::dumpSnapshot(snapshot, ui::WidgetFamily::systemSmall), "StatusLabel");
    const auto symbols = testing::findAll(label, [](const Json& n) { return n.contains("systemName"); });
    ASSERT_EQ(symbols.size(), 1u) << text;
    const Json title = testing::textNode(label, text);
    EXPECT_TRUE(symbols[0]["systemName"] == symbol && symbols[0]["foreground"] == colour) << text;
    EXPECT_TRUE(title["foreground"] == colour && title["font"]["style"] == "caption") << text;
  }
}

}  // namespace
}  // namespace kelvo::widget
