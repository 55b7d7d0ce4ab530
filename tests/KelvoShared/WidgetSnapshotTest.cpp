#include <gtest/gtest.h>

#include <limits>

#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {
namespace {

WidgetSnapshot sample() {
  WidgetSnapshot s;
  s.batteryPercentage = 64;
  s.rangeKm = 318;
  s.statusKey = "CHARGING";
  s.isPluggedIn = true;
  s.carTitle = "Zoë";
  s.carReportedAt = Date{1768465680};
  s.writtenAt = Date{1768465800};
  return s;
}

TEST(SnapshotEquality, EveryFieldCounts) {
  const WidgetSnapshot base = sample();
  EXPECT_EQ(base, sample());
  std::vector<WidgetSnapshot> changed(15, base);
  changed[0].batteryPercentage = 64.0001;
  changed[1].rangeKm = 319;
  changed[2].statusKey = "IDLE";
  changed[3].isDriving = true;
  changed[4].isPluggedIn.reset();  // absent is neither true nor false
  changed[5].fullInMinutes = 0;    // present 0 is not absent
  changed[6].chargingPowerWatts = 11000;
  changed[7].carTitle = "Zoe";
  changed[8].modelName = "";
  changed[9].registrationNo = "KLV 042";
  changed[10].odometerKm = 1;
  changed[11].carReportedAt.reset();
  changed[12].writtenAt = Date{1768465800.5};
  changed[13].unit = DistanceUnit::miles;
  changed[14].hasImage = true;
  for (std::size_t i = 0; i < changed.size(); ++i) EXPECT_NE(changed[i], base) << "field " << i + 1;
}

TEST(SnapshotEquality, TextsCompareByCanonicalEquivalence) {
  WidgetSnapshot composed = sample(), decomposed = sample();
  composed.carTitle = "Zo\u00EB";     // ë as one code point
  decomposed.carTitle = "Zoe\u0308";  // e + combining diaeresis
  EXPECT_EQ(composed, decomposed);
  decomposed.statusKey = "\uFB01";  // ﬁ: only compatibility-equivalent to "fi"
  composed.statusKey = "fi";
  EXPECT_NE(composed, decomposed);

  EXPECT_TRUE(canonicallyEqual("a\u0301\u0323", "a\u0323\u0301"));  // marks reordered canonically
  EXPECT_FALSE(
      canonicallyEqual(std::string("\xFF", 1), std::string("\xFE", 1)));  // both become U+FFFD in ICU
  EXPECT_TRUE(canonicallyEqual(std::string("\xFF", 1), std::string("\xFF", 1)));
}

TEST(SnapshotDerived, IsChargingMatchesTwoKeysExactly) {
  WidgetSnapshot s = sample();
  s.isDriving = true;  // the key alone decides
  const auto charging = [&s](const char* key) {
    s.statusKey = key;
    return s.isCharging();
  };
  EXPECT_TRUE(charging("CHARGING") && charging("SMART_CHARGING"));
  for (const char* key : {"charging", "CHARGING ", "DONE", ""}) EXPECT_FALSE(charging(key)) << key;
}

TEST(DistanceUnitConversion, MilesRoundHalfAwayFromZero) {
  const std::vector<std::pair<std::int64_t, std::int64_t>> cases = {
      {0, 0}, {1, 1}, {2, 1}, {3, 2}, {-1, -1}, {-3, -2}, {412, 256}, {805, 500}, {1234, 767}};
  for (const auto& [km, miles] : cases) EXPECT_EQ(DistanceUnit::miles.convert(km), miles) << km;
  EXPECT_EQ(DistanceUnit::kilometers.convert(-7), -7);
  // The extremes stay in range.
  EXPECT_GT(DistanceUnit::miles.convert(std::numeric_limits<std::int64_t>::max()), 0);
  EXPECT_LT(DistanceUnit::miles.convert(std::numeric_limits<std::int64_t>::min()), 0);
}

TEST(DistanceUnitRawValue, OnlyTheExactTexts) {
  for (const char* text : {"miles", "mi", "Miles(mi)", "miles (mi)", "km", "Kilometers (km) ", ""}) {
    EXPECT_FALSE(DistanceUnit::fromRawValue(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace kelvo
