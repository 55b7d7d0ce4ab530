#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "LocaleEnvironment.h"

using kelvo::L;

TEST(LocalizationTest, LanguageChosenFromTheEnvironment) {
  // LANGUAGE, one more variable, and "Charging" in the language chosen.
  for (const auto& [language, name, value, expected] :
       std::vector<std::tuple<const char*, const char*, const char*, const char*>>{
           {"sv", "LC_ALL", "sv_SE.UTF-8", "Laddar"},
           {"sv", "LC_ALL", "de_DE.UTF-8", "Laddar"},      // the list beats the locale
           {"tlh:sv", "LC_ALL", "en_US.UTF-8", "Laddar"},  // the first language with a catalog
           {"", "LC_MESSAGES", "de_DE.UTF-8", "Lädt"},
           {"tlh", "LC_ALL", "en_US.UTF-8", "Charging"},  // unknown: the key itself
           // A locale the machine lacks would leave the process in "C", where
           // gettext ignores LANGUAGE; initLocale falls back to C.UTF-8 instead.
           {"sv", "LC_ALL", "xx_YY.UTF-8", "Laddar"}}) {
    LocaleEnvironment environment;
    environment.set("LANGUAGE", language);
    environment.set("LANG", "en_US.UTF-8");
    environment.set(name, value);
    kelvo::initLocale();
    EXPECT_EQ(L("Charging"), expected) << language << ", " << value;
  }
}

TEST(LocalizationTest, LookupsByExactKeyAlone) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  EXPECT_EQ(L("Charging"), "Charging");  // nothing is translated before initLocale
  environment.set("LC_ALL", "sv_SE.UTF-8");
  kelvo::initLocale();
  EXPECT_EQ(L("Open Kelvo to sign in"), "Öppna Kelvo för att logga in");
  EXPECT_EQ(L("Not a key"), "Not a key");
  EXPECT_EQ(L("charging"), "charging");  // keys are case-sensitive
  EXPECT_EQ(L(""), "");                  // not the catalog header
  const std::string withNul("Charging\0Idle", 13);
  EXPECT_EQ(L(withNul), withNul);
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
        failures[t] += L("Charging") != "Laddar";
        failures[t] += kelvo::CarFormat::humanStatus("SMART_CHARGING") != "Smart laddning";
        failures[t] += kelvo::CarFormat::kilowatts(7400 + t, german) != "7,4 kW";
        failures[t] += kelvo::CarFormat::humanStatus("élan_ÜBER") != "Élan Über";
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(LocalizationTest, TextLanguageIsTheLanguageOfTheCatalogInUse) {
  // LANGUAGE, one more variable, the language the texts then come in, and the
  // locale of relative times: the texts' words with the time locale's digits.
  for (const auto& [language, name, value, expected, ages] :
       std::vector<std::tuple<const char*, const char*, const char*, const char*, const char*>>{
           {"ar", "LC_ALL", "ar_EG.UTF-8", "ar", "ar_EG@numbers=arab"},
           {"", "LANG", "he_IL.UTF-8", "he", "he_IL@numbers=latn"},
           {"", "LC_MESSAGES", "he_IL.UTF-8", "he", "he_US@numbers=latn"},  // LANG is English
           {"de", "LANG", "ar_EG.UTF-8", "de", "de_EG@numbers=arab"},       // German texts, Arabic numbers
           {"sv", "LANG", "en_US.UTF-8", "sv", "sv_US@numbers=latn"},       // Swedish age beside "Uppdaterad"
           {"pt_BR", "LC_ALL", "en_US.UTF-8", "pt_BR", "pt_BR@numbers=latn"},
           {"zh_CN:ja", "LC_ALL", "en_US.UTF-8", "zh_CN", "zh_CN@numbers=latn"},
           {"ur:he", "LC_ALL", "en_US.UTF-8", "he", "he_US@numbers=latn"},  // no Urdu catalog: the next one
           {"ur", "LC_ALL", "ur_PK.UTF-8", "en", "en_PK@numbers=latn"},     // no catalog at all: English keys
           {"ar", "LC_ALL", "C", "en", "en_US@numbers=latn"}}) {            // gettext ignores LANGUAGE in "C"
    LocaleEnvironment environment;
    environment.set("LANGUAGE", language);
    environment.set("LANG", "en_US.UTF-8");
    environment.set(name, value);
    kelvo::initLocale();
    EXPECT_EQ(kelvo::textLanguage().getName(), std::string(expected)) << language << ", " << value;
    EXPECT_EQ(kelvo::relativeTimeLocale().getName(), std::string(ages)) << language << ", " << value;
    // The texts really are in that language.
    EXPECT_EQ(L("Charging") == "Charging", std::string(expected) == "en") << language << ", " << value;
  }
}
