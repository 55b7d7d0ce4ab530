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

TEST(CarFormatTest, ShortDurationsInMinutesUpToFiftyNine) {
  EXPECT_EQ(CarFormat::shortDuration(0), "0min");
  EXPECT_EQ(CarFormat::shortDuration(59), "59min");
  EXPECT_EQ(CarFormat::shortDuration(-5), "-5min");
  EXPECT_EQ(CarFormat::shortDuration(-120), "-120min");
  EXPECT_EQ(CarFormat::shortDuration(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808min");
}

TEST(CarFormatTest, ShortDurationsInHoursAndUnpaddedMinutes) {
  EXPECT_EQ(CarFormat::shortDuration(60), "1h");
  EXPECT_EQ(CarFormat::shortDuration(61), "1h1m");
  EXPECT_EQ(CarFormat::shortDuration(120), "2h");
  EXPECT_EQ(CarFormat::shortDuration(125), "2h5m");
  EXPECT_EQ(CarFormat::shortDuration(1439), "23h59m");
  EXPECT_EQ(CarFormat::shortDuration(100000), "1666h40m");  // no grouping, no days
  EXPECT_EQ(CarFormat::shortDuration(std::numeric_limits<std::int64_t>::max()), "153722867280912930h7m");
}

TEST(CarFormatTest, KilowattsInEnglishUS) {
  EXPECT_EQ(CarFormat::kilowatts(7400, kEnglishUS), "7.4 kW");
  EXPECT_EQ(CarFormat::kilowatts(500, kEnglishUS), "0.5 kW");
  EXPECT_EQ(CarFormat::kilowatts(0, kEnglishUS), "0.0 kW");
  EXPECT_EQ(CarFormat::kilowatts(11000, kEnglishUS), "11 kW");
  EXPECT_EQ(CarFormat::kilowatts(10000, kEnglishUS), "10 kW");
  EXPECT_EQ(CarFormat::kilowatts(1500000, kEnglishUS), "1,500 kW");
  EXPECT_EQ(CarFormat::kilowatts(-7400, kEnglishUS), "-7.4 kW");
}

TEST(CarFormatTest, KilowattFractionDigitsChosenBeforeRounding) {
  EXPECT_EQ(CarFormat::kilowatts(9999, kEnglishUS), "10.0 kW");
  EXPECT_EQ(CarFormat::kilowatts(9950, kEnglishUS), "10.0 kW");
  EXPECT_EQ(CarFormat::kilowatts(9949, kEnglishUS), "9.9 kW");
}

TEST(CarFormatTest, KilowattsRoundHalfToEven) {
  EXPECT_EQ(CarFormat::kilowatts(10500, kEnglishUS), "10 kW");
  EXPECT_EQ(CarFormat::kilowatts(11500, kEnglishUS), "12 kW");
  EXPECT_EQ(CarFormat::kilowatts(250, kEnglishUS), "0.2 kW");
  EXPECT_EQ(CarFormat::kilowatts(350, kEnglishUS), "0.4 kW");
}

TEST(CarFormatTest, KilowattsInGerman) {
  EXPECT_EQ(CarFormat::kilowatts(7400, kGerman), "7,4 kW");
  EXPECT_EQ(CarFormat::kilowatts(11000, kGerman), "11 kW");
  EXPECT_EQ(CarFormat::kilowatts(1500000, kGerman), "1.500 kW");
}

TEST(CarFormatTest, DistancesGroupedAsTheLocaleGroups) {
  EXPECT_EQ(CarFormat::distance(1234, Grouping::grouped, DistanceUnit::kilometers, kEnglishUS), "1,234 km");
  EXPECT_EQ(CarFormat::distance(1234, Grouping::grouped, DistanceUnit::kilometers, kGerman), "1.234 km");
  EXPECT_EQ(CarFormat::distance(23412, Grouping::grouped, DistanceUnit::miles, kEnglishUS), "14,548 mi");
  EXPECT_EQ(CarFormat::distance(-1234567, Grouping::grouped, DistanceUnit::kilometers, kEnglishUS),
            "-1,234,567 km");
  EXPECT_EQ(CarFormat::distance(0, Grouping::grouped, DistanceUnit::kilometers, kEnglishUS), "0 km");
}

TEST(CarFormatTest, DistancesInPlainDigitsIgnoreTheLocale) {
  EXPECT_EQ(CarFormat::distance(1234, Grouping::plain, DistanceUnit::kilometers, kEnglishUS), "1234 km");
  EXPECT_EQ(CarFormat::distance(1234, Grouping::plain, DistanceUnit::kilometers, kGerman), "1234 km");
  EXPECT_EQ(CarFormat::distance(1234, Grouping::plain, DistanceUnit::miles, kEnglishUS), "767 mi");
  EXPECT_EQ(CarFormat::distance(0, Grouping::plain, DistanceUnit::kilometers, kEnglishUS), "0 km");
  EXPECT_EQ(CarFormat::distance(1234, Grouping::plain, DistanceUnit::kilometers, icu::Locale("ar", "EG")),
            "1234 km");
}

TEST(CarFormatTest, KnownStatusKeysUseTheTable) {
  LocaleEnvironment environment;  // "C": no translation
  EXPECT_EQ(CarFormat::humanStatus("CHARGING"), "Charging");
  EXPECT_EQ(CarFormat::humanStatus("IDLE"), "Idle");
  EXPECT_EQ(CarFormat::humanStatus("DONE"), "Done");
  EXPECT_EQ(CarFormat::humanStatus("DISCHARGING"), "Discharging");
  EXPECT_EQ(CarFormat::humanStatus("ERROR"), "Error");
  EXPECT_EQ(CarFormat::humanStatus("FAULT"), "Fault");
  EXPECT_EQ(CarFormat::humanStatus("SCHEDULED"), "Scheduled");
  EXPECT_EQ(CarFormat::humanStatus("SMART_CHARGING"), "Smart charging");
}

TEST(CarFormatTest, OtherStatusKeysAreCapitalisedWordByWord) {
  LocaleEnvironment environment;
  EXPECT_EQ(CarFormat::humanStatus("charging"), "Charging");
  EXPECT_EQ(CarFormat::humanStatus("smart_charging"), "Smart Charging");
  EXPECT_EQ(CarFormat::humanStatus("Smart_Charging"), "Smart Charging");
  EXPECT_EQ(CarFormat::humanStatus(""), "");
  EXPECT_EQ(CarFormat::humanStatus("CHARGING_PAUSED"), "Charging Paused");
  EXPECT_EQ(CarFormat::humanStatus("__A__B_"), "  A  B ");  // every "_" becomes one space
  EXPECT_EQ(CarFormat::humanStatus("_"), " ");
  EXPECT_EQ(CarFormat::humanStatus("élan_ÜBER"), "Élan Über");
  EXPECT_EQ(CarFormat::humanStatus("ÅTERSTÅR_ÖVER"), "Återstår Över");
  EXPECT_EQ(CarFormat::humanStatus("IDLE "), "Idle ");  // not an exact match
}

TEST(CarFormatTest, LocalisedStatusNamesOnlyForExactKeys) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "de");
  environment.set("LC_ALL", "de_DE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(CarFormat::humanStatus("CHARGING"), "Lädt");
  EXPECT_EQ(CarFormat::humanStatus("SMART_CHARGING"), "Intelligentes Laden");
  EXPECT_EQ(CarFormat::humanStatus("charging"), "Charging");  // the fallback is never translated
}

TEST(CarFormatTest, CapitalisationSplitsOnWhiteSpaceOnly) {
  EXPECT_EQ(CarFormat::capitalized("hello WORLD"), "Hello World");
  EXPECT_EQ(CarFormat::capitalized("tab\tnew\nline"), "Tab\tNew\nLine");
  EXPECT_EQ(CarFormat::capitalized("non\u00a0breaking"), "Non\u00a0Breaking");
  EXPECT_EQ(CarFormat::capitalized("plug-in HYBRID"), "Plug-in Hybrid");
  EXPECT_EQ(CarFormat::capitalized("straße ßig"), "Straße Ssig");
  EXPECT_EQ(CarFormat::capitalized("ǆUNGLA ﬁx"), "ǅungla Fix");  // title case, not upper case
  EXPECT_EQ(CarFormat::capitalized("2ND gear"), "2nd Gear");
  EXPECT_EQ(CarFormat::capitalized("bad\xff BYTE"), "Bad\uFFFD Byte");
}

TEST(SnapshotTextTest, StatusTextIsInUseWhileDriving) {
  LocaleEnvironment environment;
  kelvo::WidgetSnapshot snapshot;
  snapshot.statusKey = "CHARGING";
  snapshot.isDriving = true;
  EXPECT_TRUE(snapshot.isCharging());
  EXPECT_EQ(snapshot.statusText(), "In use");
  snapshot.isDriving = false;
  EXPECT_EQ(snapshot.statusText(), "Charging");
  snapshot.statusKey = "plugged_in";
  EXPECT_EQ(snapshot.statusText(), "Plugged In");
}

TEST(SnapshotTextTest, StatusTextInSwedish) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  kelvo::WidgetSnapshot snapshot;
  snapshot.statusKey = "CHARGING";
  snapshot.isDriving = true;
  EXPECT_EQ(snapshot.statusText(), "Används");
  snapshot.isDriving = false;
  EXPECT_EQ(snapshot.statusText(), "Laddar");
}

TEST(SnapshotTextTest, RangeTextIsNeverGrouped) {
  // A locale that groups, to show the range ignores it.
  LocaleEnvironment environment;
  environment.set("LC_ALL", "en_US.UTF-8");
  kelvo::WidgetSnapshot snapshot;
  snapshot.rangeKm = 1234;
  EXPECT_EQ(snapshot.rangeText(), "1234 km");
  snapshot.unit = DistanceUnit::miles;
  EXPECT_EQ(snapshot.rangeText(), "767 mi");
  snapshot.rangeKm = 412;
  EXPECT_EQ(snapshot.rangeText(), "256 mi");
  snapshot.unit = DistanceUnit::kilometers;
  EXPECT_EQ(snapshot.rangeText(), "412 km");
  snapshot.rangeKm = 0;
  EXPECT_EQ(snapshot.rangeText(), "0 km");
  snapshot.rangeKm = -5;
  EXPECT_EQ(snapshot.rangeText(), "-5 km");
  snapshot.rangeKm = 1234567;
  EXPECT_EQ(snapshot.rangeText(),
            CarFormat::distance(1234567, Grouping::plain, DistanceUnit::kilometers, kGerman));
}

TEST(DistanceUnitTitleTest, UntranslatedTitleIsTheRawValue) {
  LocaleEnvironment environment;
  for (DistanceUnit unit : DistanceUnit::allCases()) {
    EXPECT_EQ(unit.title(), unit.rawValue());
  }
  EXPECT_EQ(DistanceUnit::kilometers.title(), "Kilometers (km)");
}

TEST(DistanceUnitTitleTest, TranslatedTitles) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(DistanceUnit::kilometers.title(), "Kilometer (km)");
  EXPECT_EQ(DistanceUnit::miles.title(), "Engelska mil (mi)");
}
