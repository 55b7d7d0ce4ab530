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

TEST(SnapshotEquality, FloatingPointRules) {
  WidgetSnapshot a = sample();
  a.batteryPercentage = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(a, a);
  EXPECT_FALSE(a.sameData(a));
  WidgetSnapshot zero = sample(), negativeZero = sample();
  zero.batteryPercentage = 0.0;
  negativeZero.batteryPercentage = -0.0;
  EXPECT_EQ(zero, negativeZero);
}

TEST(SnapshotEquality, TextsCompareByCanonicalEquivalence) {
  WidgetSnapshot composed = sample(), decomposed = sample();
  composed.carTitle = "Zo\u00EB";     // ë as one code point
  decomposed.carTitle = "Zoe\u0308";  // e + combining diaeresis
  EXPECT_EQ(composed, decomposed);
  composed.statusKey = "\u212B";  // ANGSTROM SIGN is canonically Å
  decomposed.statusKey = "\u00C5";
  EXPECT_EQ(composed, decomposed);
  // Compatibility equivalents are different texts.
  decomposed.statusKey = "\uFB01";  // ﬁ ligature
  composed.statusKey = "fi";
  EXPECT_NE(composed, decomposed);

  EXPECT_TRUE(canonicallyEqual("a\u0301\u0323", "a\u0323\u0301"));  // marks reordered canonically
  EXPECT_FALSE(canonicallyEqual("A", "a"));
  EXPECT_FALSE(
      canonicallyEqual(std::string("\xFF", 1), std::string("\xFE", 1)));  // both become U+FFFD in ICU
  EXPECT_TRUE(canonicallyEqual(std::string("\xFF", 1), std::string("\xFF", 1)));
}

TEST(SnapshotDerived, IsChargingMatchesTwoKeysExactly) {
  WidgetSnapshot s = sample();
  for (const char* key : {"CHARGING", "SMART_CHARGING"}) {
    s.statusKey = key;
    EXPECT_TRUE(s.isCharging()) << key;
  }
  for (const char* key : {"charging", "CHARGING ", "DONE", "IDLE", "", "SMART"}) {
    s.statusKey = key;
    EXPECT_FALSE(s.isCharging()) << key;
  }
  s.statusKey = "CHARGING";
  s.isDriving = true;
  s.isPluggedIn = false;
  EXPECT_TRUE(s.isCharging());
}

TEST(SnapshotDerived, SameDataIgnoresOnlyWrittenAt) {
  WidgetSnapshot a = sample(), b = sample();
  b.writtenAt = Date{0};
  EXPECT_NE(a, b);
  EXPECT_TRUE(a.sameData(b));
  EXPECT_TRUE(b.sameData(a));
  b.carReportedAt = Date{1768465681};
  EXPECT_FALSE(a.sameData(b));
}

TEST(DistanceUnitConversion, MilesRoundHalfAwayFromZero) {
  const std::vector<std::pair<std::int64_t, std::int64_t>> cases = {
      {0, 0}, {1, 1}, {2, 1}, {3, 2}, {-1, -1}, {-3, -2}, {412, 256}, {500, 311}, {805, 500}, {1234, 767}};
  for (const auto& [km, miles] : cases) EXPECT_EQ(DistanceUnit::miles.convert(km), miles) << km;
  for (std::int64_t km :
       {std::int64_t{0}, std::int64_t{-7}, std::int64_t{412}, std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int64_t>::min()}) {
    EXPECT_EQ(DistanceUnit::kilometers.convert(km), km);
  }
  // The extremes stay in range.
  EXPECT_GT(DistanceUnit::miles.convert(std::numeric_limits<std::int64_t>::max()), 0);
  EXPECT_LT(DistanceUnit::miles.convert(std::numeric_limits<std::int64_t>::min()), 0);
}

TEST(DistanceUnitRawValue, OnlyTheExactTexts) {
  EXPECT_EQ(DistanceUnit::fromRawValue("Miles (mi)"), DistanceUnit::miles);
  EXPECT_EQ(DistanceUnit::fromRawValue("Kilometers (km)"), DistanceUnit::kilometers);
  for (const char* text : {"miles", "mi", "Miles(mi)", "miles (mi)", "km", "Kilometers (km) ", ""}) {
    EXPECT_FALSE(DistanceUnit::fromRawValue(text).has_value()) << text;
  }
  const auto all = DistanceUnit::allCases();
  EXPECT_EQ(all[0], DistanceUnit::kilometers);
  EXPECT_EQ(all[1], DistanceUnit::miles);
  EXPECT_EQ(DistanceUnit::miles.suffix(), "mi");
  EXPECT_EQ(DistanceUnit::kilometers.suffix(), "km");
}

}  // namespace
}  // namespace kelvo
