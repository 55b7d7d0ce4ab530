#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "LocaleEnvironment.h"

namespace kelvo {
namespace {

using testing::LocaleEnvironment;
using G = CarFormat::Grouping;
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Each row: the text made, then the text expected.
TEST(CarFormatTest, DurationsPowerDistancesAndStatusNames) {
  const LocaleEnvironment untranslated;  // "C"
  const icu::Locale us("en", "US"), de("de", "DE"), eg("ar", "EG");
  const auto minutes = [](std::int64_t m) { return CarFormat::shortDuration(m); };
  const auto kw = [&](std::int64_t w) {
    return CarFormat::kilowatts(w, us) + " | " + CarFormat::kilowatts(w, de);
  };
  const auto km = [](std::int64_t k, G g, DistanceUnit u, const icu::Locale& l) {
    return CarFormat::distance(k, g, u, l);
  };
  const auto status = [](const char* key) { return CarFormat::humanStatus(key); };
  const auto capital = [](const char* text) { return CarFormat::capitalized(text); };
  const std::pair<std::string, std::string> cases[] = {
      // clang-format off
      // Plain digits, no grouping and no days.
      {minutes(0), "0min"}, {minutes(59), "59min"}, {minutes(60), "1h"}, {minutes(125), "2h5m"}, {minutes(100000), "1666h40m"},
      {minutes(kMin), "-9223372036854775808min"}, {minutes(std::numeric_limits<std::int64_t>::max()), "153722867280912930h7m"},
      // One fraction digit below 10 kW, chosen before rounding; halves go to even.
      {kw(7400), "7.4 kW | 7,4 kW"}, {kw(0), "0.0 kW | 0,0 kW"}, {kw(-7400), "-7.4 kW | -7,4 kW"}, {kw(11000), "11 kW | 11 kW"},
      {kw(1500000), "1,500 kW | 1.500 kW"}, {kw(9950), "10.0 kW | 10,0 kW"}, {kw(9949), "9.9 kW | 9,9 kW"},
      {kw(10500), "10 kW | 10 kW"}, {kw(11500), "12 kW | 12 kW"}, {kw(350), "0.4 kW | 0,4 kW"},
      {km(1234, G::grouped, DistanceUnit::kilometers, de), "1.234 km"}, {km(23412, G::grouped, DistanceUnit::miles, us), "14,548 mi"},
      {km(-1234567, G::grouped, DistanceUnit::kilometers, us), "-1,234,567 km"}, {km(1234, G::plain, DistanceUnit::kilometers, eg), "1234 km"},
      // The table's names for exact keys, otherwise every "_" a space and each word capitalised.
      {status("CHARGING"), "Charging"}, {status("SMART_CHARGING"), "Smart charging"}, {status("smart_charging"), "Smart Charging"},
      {status("IDLE "), "Idle "}, {status(""), ""}, {status("__A__B_"), "  A  B "}, {status("ÅTERSTÅR_ÖVER"), "Återstår Över"},
      {capital("tab\tnew\nline"), "Tab\tNew\nLine"}, {capital("non\u00a0breaking"), "Non\u00a0Breaking"},
      {capital("plug-in HYBRID"), "Plug-in Hybrid"}, {capital("straße ßig"), "Straße Ssig"},
      {capital("ǆUNGLA ﬁx"), "ǅungla Fix"} /* title case, not upper case */, {capital("bad\xff BYTE"), "Bad\uFFFD Byte"},
      // clang-format on
  };
  for (const auto& [made, expected] : cases) EXPECT_EQ(made, expected);
}

TEST(SnapshotTextTest, StatusAndUnitTextsTranslatedForExactKeysOnlyAndRangesNeverGrouped) {
  WidgetSnapshot snapshot;
  snapshot.statusKey = "CHARGING";
  snapshot.rangeKm = 1234567;
  const auto texts = [](WidgetSnapshot s) {
    const std::string parked = s.statusText(), range = s.rangeText();
    s.isDriving = true;
    s.unit = DistanceUnit::miles;
    s.rangeKm = 1234;
    return std::vector<std::string>{
        parked, s.statusText(), DistanceUnit::kilometers.title(), DistanceUnit::miles.title(),
        range,  s.rangeText()};
  };
  const LocaleEnvironment english("", "en_US.UTF-8");  // a locale that groups
  EXPECT_EQ(texts(snapshot), (std::vector<std::string>{"Charging", "In use", "Kilometers (km)", "Miles (mi)",
                                                       "1234567 km", "767 mi"}));
  const LocaleEnvironment swedish("sv", "sv_SE.UTF-8");
  EXPECT_EQ(texts(snapshot), (std::vector<std::string>{"Laddar", "Används", "Kilometer (km)",
                                                       "Engelska mil (mi)", "1234567 km", "767 mi"}));
  EXPECT_EQ(CarFormat::humanStatus("charging"), "Charging");  // the fallback is never translated
}

}  // namespace
}  // namespace kelvo
