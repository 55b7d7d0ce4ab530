#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "LocaleEnvironment.h"

using kelvo::CarFormat;
using kelvo::DistanceUnit;
using Grouping = kelvo::CarFormat::Grouping;

namespace {
const icu::Locale kEnglishUS("en", "US");
const icu::Locale kGerman("de", "DE");
}  // namespace

TEST(CarFormatTest, ShortDurations) {
  for (const auto& [minutes, text] : std::vector<std::pair<std::int64_t, std::string>>{
           {0, "0min"},
           {59, "59min"},
           {60, "1h"},
           {125, "2h5m"},
           {100000, "1666h40m"},  // no grouping, no days
           {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808min"},
           {std::numeric_limits<std::int64_t>::max(), "153722867280912930h7m"}}) {
    EXPECT_EQ(CarFormat::shortDuration(minutes), text);
  }
}

TEST(CarFormatTest, KilowattsInEnglishUSAndGerman) {
  // One fraction digit below 10 kW, chosen before rounding; halves go to even.
  for (const auto& [watts, english, german] :
       std::vector<std::tuple<std::int64_t, std::string, std::string>>{{7400, "7.4 kW", "7,4 kW"},
                                                                       {0, "0.0 kW", "0,0 kW"},
                                                                       {-7400, "-7.4 kW", "-7,4 kW"},
                                                                       {11000, "11 kW", "11 kW"},
                                                                       {1500000, "1,500 kW", "1.500 kW"},
                                                                       {9950, "10.0 kW", "10,0 kW"},
                                                                       {9949, "9.9 kW", "9,9 kW"},
                                                                       {10500, "10 kW", "10 kW"},
                                                                       {11500, "12 kW", "12 kW"},
                                                                       {350, "0.4 kW", "0,4 kW"}}) {
    EXPECT_EQ(CarFormat::kilowatts(watts, kEnglishUS), english);
    EXPECT_EQ(CarFormat::kilowatts(watts, kGerman), german);
  }
}

TEST(CarFormatTest, DistancesGroupedAsTheLocaleGroupsOrInPlainDigits) {
  const auto km = DistanceUnit::kilometers;
  EXPECT_EQ(CarFormat::distance(1234, Grouping::grouped, km, kEnglishUS), "1,234 km");
  EXPECT_EQ(CarFormat::distance(1234, Grouping::grouped, km, kGerman), "1.234 km");
  EXPECT_EQ(CarFormat::distance(23412, Grouping::grouped, DistanceUnit::miles, kEnglishUS), "14,548 mi");
  EXPECT_EQ(CarFormat::distance(-1234567, Grouping::grouped, km, kEnglishUS), "-1,234,567 km");
  EXPECT_EQ(CarFormat::distance(1234, Grouping::plain, km, icu::Locale("ar", "EG")), "1234 km");
}

TEST(CarFormatTest, StatusNamesFromTheTableOtherwiseCapitalisedWordByWord) {
  LocaleEnvironment environment;  // "C": no translation
  for (const auto& [key, text] : std::vector<std::pair<std::string, std::string>>{
           {"CHARGING", "Charging"},
           {"SMART_CHARGING", "Smart charging"},
           {"smart_charging", "Smart Charging"},
           {"IDLE ", "Idle "},  // not an exact match
           {"", ""},
           {"__A__B_", "  A  B "},  // every "_" becomes one space
           {"ÅTERSTÅR_ÖVER", "Återstår Över"}}) {
    EXPECT_EQ(CarFormat::humanStatus(key), text) << key;
  }
}

TEST(CarFormatTest, CapitalisationSplitsOnWhiteSpaceOnly) {
  for (const auto& [text, capitalized] : std::vector<std::pair<std::string, std::string>>{
           {"tab\tnew\nline", "Tab\tNew\nLine"},
           {"non\u00a0breaking", "Non\u00a0Breaking"},
           {"plug-in HYBRID", "Plug-in Hybrid"},
           {"straße ßig", "Straße Ssig"},
           {"ǆUNGLA ﬁx", "ǅungla Fix"},  // title case, not upper case
           {"bad\xff BYTE", "Bad\uFFFD Byte"}}) {
    EXPECT_EQ(CarFormat::capitalized(text), capitalized);
  }
}

TEST(SnapshotTextTest, StatusAndUnitTextsTranslatedForExactKeysOnly) {
  LocaleEnvironment environment;
  kelvo::WidgetSnapshot snapshot;
  snapshot.statusKey = "CHARGING";
  snapshot.isDriving = true;
  EXPECT_EQ(snapshot.statusText(), "In use");
  snapshot.isDriving = false;
  EXPECT_EQ(snapshot.statusText(), "Charging");
  EXPECT_EQ(DistanceUnit::kilometers.title(), "Kilometers (km)");

  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(snapshot.statusText(), "Laddar");
  snapshot.isDriving = true;
  EXPECT_EQ(snapshot.statusText(), "Används");
  EXPECT_EQ(DistanceUnit::kilometers.title(), "Kilometer (km)");
  EXPECT_EQ(DistanceUnit::miles.title(), "Engelska mil (mi)");
  EXPECT_EQ(CarFormat::humanStatus("SMART_CHARGING"), "Smart laddning");
  EXPECT_EQ(CarFormat::humanStatus("charging"), "Charging");  // the fallback is never translated
}

TEST(SnapshotTextTest, RangeTextIsNeverGrouped) {
  LocaleEnvironment environment;
  environment.set("LC_ALL", "en_US.UTF-8");  // a locale that groups
  kelvo::WidgetSnapshot snapshot;
  for (const auto& [km, unit, text] : std::vector<std::tuple<std::int64_t, DistanceUnit, std::string>>{
           {1234567, DistanceUnit::kilometers, "1234567 km"},
           {-5, DistanceUnit::kilometers, "-5 km"},
           {1234, DistanceUnit::miles, "767 mi"}}) {
    snapshot.rangeKm = km;
    snapshot.unit = unit;
    EXPECT_EQ(snapshot.rangeText(), text);
  }
}
