#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "LocaleEnvironment.h"

namespace kelvo {
namespace {

using testing::LocaleEnvironment;
const icu::Locale kEnglishUS("en", "US"), kGerman("de", "DE");
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(CarFormatTest, ShortDurations) {
  // clang-format off
  for (const auto& [minutes, text] : std::vector<std::pair<std::int64_t, std::string>>{{0, "0min"}, {59, "59min"},
           {60, "1h"}, {125, "2h5m"}, {100000, "1666h40m"} /* no grouping, no days */, {kMin, "-9223372036854775808min"},
           {std::numeric_limits<std::int64_t>::max(), "153722867280912930h7m"}}) {
    EXPECT_EQ(CarFormat::shortDuration(minutes), text);
  }
  // clang-format on
}

TEST(CarFormatTest, KilowattsInEnglishUSAndGerman) {
  // One fraction digit below 10 kW, chosen before rounding; halves go to even.
  // clang-format off
  for (const auto& [watts, english, german] : std::vector<std::tuple<std::int64_t, std::string, std::string>>{
           {7400, "7.4 kW", "7,4 kW"}, {0, "0.0 kW", "0,0 kW"}, {-7400, "-7.4 kW", "-7,4 kW"}, {11000, "11 kW", "11 kW"},
           {1500000, "1,500 kW", "1.500 kW"}, {9950, "10.0 kW", "10,0 kW"}, {9949, "9.9 kW", "9,9 kW"},
           {10500, "10 kW", "10 kW"}, {11500, "12 kW", "12 kW"}, {350, "0.4 kW", "0,4 kW"}}) {
    EXPECT_EQ(CarFormat::kilowatts(watts, kEnglishUS), english);
    EXPECT_EQ(CarFormat::kilowatts(watts, kGerman), german);
  }
  // clang-format on
}

TEST(CarFormatTest, DistancesGroupedAsTheLocaleGroupsOrInPlainDigits) {
  using G = CarFormat::Grouping;
  // clang-format off
  for (const auto& [km, grouping, unit, locale, text] : std::vector<std::tuple<std::int64_t, G, DistanceUnit, icu::Locale, std::string>>{
           {1234, G::grouped, DistanceUnit::kilometers, kGerman, "1.234 km"}, {23412, G::grouped, DistanceUnit::miles, kEnglishUS, "14,548 mi"},
           {-1234567, G::grouped, DistanceUnit::kilometers, kEnglishUS, "-1,234,567 km"}, {1234, G::plain, DistanceUnit::kilometers, icu::Locale("ar", "EG"), "1234 km"}}) {
    // clang-format on
    EXPECT_EQ(CarFormat::distance(km, grouping, unit, locale), text);
  }
}

TEST(CarFormatTest, StatusNamesFromTheTableOtherwiseCapitalisedOnWhiteSpace) {
  const LocaleEnvironment environment;  // "C": no translation
  // clang-format off
  for (const auto& [key, text] : std::vector<std::pair<std::string, std::string>>{{"CHARGING", "Charging"},
           {"SMART_CHARGING", "Smart charging"}, {"smart_charging", "Smart Charging"}, {"IDLE ", "Idle "} /* not exact */,
           {"", ""}, {"__A__B_", "  A  B "} /* every "_" one space */, {"ÅTERSTÅR_ÖVER", "Återstår Över"}}) {
    EXPECT_EQ(CarFormat::humanStatus(key), text) << key;
  }
  for (const auto& [text, capitalized] : std::vector<std::pair<std::string, std::string>>{
           {"tab\tnew\nline", "Tab\tNew\nLine"}, {"non\u00a0breaking", "Non\u00a0Breaking"},
           {"plug-in HYBRID", "Plug-in Hybrid"}, {"straße ßig", "Straße Ssig"},
           {"ǆUNGLA ﬁx", "ǅungla Fix"} /* title case, not upper case */, {"bad\xff BYTE", "Bad\uFFFD Byte"}}) {
    EXPECT_EQ(CarFormat::capitalized(text), capitalized);
  }
  // clang-format on
}

TEST(SnapshotTextTest, StatusAndUnitTextsTranslatedForExactKeysOnly) {
  WidgetSnapshot snapshot;
  snapshot.statusKey = "CHARGING";
  const auto texts = [](WidgetSnapshot s) {
    const std::string parked = s.statusText();
    s.isDriving = true;
    return std::vector<std::string>{parked, s.statusText(), DistanceUnit::kilometers.title(),
                                    DistanceUnit::miles.title()};
  };
  const LocaleEnvironment english;
  EXPECT_EQ(texts(snapshot),
            (std::vector<std::string>{"Charging", "In use", "Kilometers (km)", "Miles (mi)"}));
  const LocaleEnvironment swedish("sv", "sv_SE.UTF-8");
  EXPECT_EQ(texts(snapshot),
            (std::vector<std::string>{"Laddar", "Används", "Kilometer (km)", "Engelska mil (mi)"}));
  EXPECT_EQ(CarFormat::humanStatus("charging"), "Charging");  // the fallback is never translated
}

TEST(SnapshotTextTest, RangeTextIsNeverGrouped) {
  const LocaleEnvironment environment("", "en_US.UTF-8");  // a locale that groups
  WidgetSnapshot snapshot;
  for (const auto& [km, unit, text] : std::vector<std::tuple<std::int64_t, DistanceUnit, std::string>>{
           {1234567, DistanceUnit::kilometers, "1234567 km"}, {1234, DistanceUnit::miles, "767 mi"}}) {
    snapshot.rangeKm = km;
    snapshot.unit = unit;
    EXPECT_EQ(snapshot.rangeText(), text);
  }
}

}  // namespace
}  // namespace kelvo
