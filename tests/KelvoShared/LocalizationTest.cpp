#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "LocaleEnvironment.h"

using kelvo::L;

TEST(LocalizationTest, SwedishFromLanguageVariable) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Charging", ""), "Laddar");
  EXPECT_EQ(L("Open Kelvo to sign in", ""), "Öppna Kelvo för att logga in");
  EXPECT_EQ(L("Odometer", ""), "Mätarställning");
}

TEST(LocalizationTest, LanguageVariableOverridesTheLocale) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "de_DE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Power", ""), "Effekt");
}

TEST(LocalizationTest, LanguageListFallsThroughToAKnownLanguage) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "fr:sv");
  environment.set("LC_ALL", "en_US.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Power", ""), "Effekt");
}

TEST(LocalizationTest, MessagesLocaleWithoutLanguageVariable) {
  LocaleEnvironment environment;
  environment.set("LANG", "en_US.UTF-8");
  environment.set("LC_MESSAGES", "de_DE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Charging", ""), "Lädt");
  EXPECT_EQ(L("Battery, range and charging status for your Volvo.", ""),
            "Akku, Reichweite und Ladestatus deines Volvo.");
}

TEST(LocalizationTest, UnknownLanguageGivesTheKey) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "tlh");
  environment.set("LC_ALL", "en_US.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Charging", ""), "Charging");
  EXPECT_EQ(L("No data yet", ""), "No data yet");
}

TEST(LocalizationTest, UntranslatedKeyGivesItself) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("No such text in any catalog", ""), "No such text in any catalog");
  EXPECT_EQ(L("charging", ""), "charging");  // keys are case-sensitive
  EXPECT_EQ(L("min", ""), "min");
}

TEST(LocalizationTest, EmptyKeyIsNotTheCatalogHeader) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("", ""), "");
  const std::string withNul("Charging\0Idle", 13);
  EXPECT_EQ(L(withNul, ""), withNul);
}

TEST(LocalizationTest, CommentNeverChangesTheResult) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "de");
  environment.set("LC_ALL", "de_DE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Charging", "Charging state"), "Lädt");
  EXPECT_EQ(L("Charging", "Idle"), "Lädt");
  EXPECT_EQ(L("Not a key", "Charging"), "Not a key");
}

TEST(LocalizationTest, CLocaleShowsTheKeys) {
  // gettext translates nothing before the program sets its locale.
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  EXPECT_EQ(L("Charging", ""), "Charging");
}

TEST(LocalizationTest, MissingLocaleStillHonoursLanguage) {
  // A locale the machine lacks would leave the process in "C", where gettext
  // ignores LANGUAGE; initLocale falls back to C.UTF-8 instead.
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "xx_YY.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Charging", ""), "Laddar");
}

TEST(LocalizationTest, LookupsAndFormattingFromManyThreads) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  const icu::Locale german("de", "DE");
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if (L("Charging", "") != "Laddar") ++failures[t];
        if (kelvo::CarFormat::humanStatus("SMART_CHARGING") != "Smart laddning") ++failures[t];
        if (kelvo::CarFormat::kilowatts(7400 + t, german) != "7,4 kW") ++failures[t];
        if (kelvo::CarFormat::distance(1234, kelvo::CarFormat::Grouping::grouped,
                                       kelvo::DistanceUnit::kilometers, german) != "1.234 km")
          ++failures[t];
        if (kelvo::CarFormat::humanStatus("élan_ÜBER") != "Élan Über") ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}
