#include <gtest/gtest.h>

#include <thread>

#include "Catalogs.h"
#include "KelvoShared/CarFormat.h"
#include "KelvoShared/TextLanguage.h"
#include "LocaleEnvironment.h"

namespace kelvo {
namespace {

using testing::LocaleEnvironment;

TEST(LocalizationTest, TheCatalogInUseGivesTheTextsLanguageAndTheAgesWords) {
  // LANGUAGE and one more variable (LANG is en_US.UTF-8 otherwise); the
  // language the texts then come in, and the locale of relative times: the
  // texts' words with the time locale's digits.
  // clang-format off
  for (const auto& [language, name, value, texts, ages] : std::vector<std::array<const char*, 5>>{
           {"sv", "LC_ALL", "de_DE.UTF-8", "sv", "sv_DE@numbers=latn"},         // the list beats the locale
           {"tlh:sv", "LC_ALL", "en_US.UTF-8", "sv", "sv_US@numbers=latn"},     // the first language with a catalog
           {"", "LC_MESSAGES", "he_IL.UTF-8", "he", "he_US@numbers=latn"},
           {"", "LANG", "he_IL.UTF-8", "he", "he_IL@numbers=latn"},
           {"ar", "LC_ALL", "ar_EG.UTF-8", "ar", "ar_EG@numbers=arab"},
           {"de", "LANG", "ar_EG.UTF-8", "de", "de_EG@numbers=arab"},           // German words, Arabic digits
           {"pt_BR", "LC_ALL", "en_US.UTF-8", "pt_BR", "pt_BR@numbers=latn"},
           {"ur", "LC_ALL", "ur_PK.UTF-8", "en", "en_PK@numbers=latn"},         // no catalog at all: English keys
           {"ar", "LC_ALL", "C", "en", "en_US@numbers=latn"},                   // gettext ignores LANGUAGE in "C"
           // A locale the machine lacks would leave the process in "C"; initLocale falls back to C.UTF-8.
           {"sv", "LC_ALL", "xx_YY.UTF-8", "sv", "sv_YY@numbers=latn"}}) {
    // clang-format on
    LocaleEnvironment environment;
    environment.set("LANGUAGE", language);
    environment.set("LANG", "en_US.UTF-8");
    environment.set(name, value);
    initLocale();
    EXPECT_EQ(textLanguage().getName(), std::string(texts)) << language << ", " << value;
    EXPECT_EQ(relativeTimeLocale().getName(), std::string(ages)) << language << ", " << value;
    const std::string charging = texts == std::string("en")
                                     ? "Charging"
                                     : testing::readCatalog(texts + std::string(".po"))["Charging"];
    EXPECT_EQ(L("Charging"), charging) << language << ", " << value;
  }
}

TEST(LocalizationTest, LookupsByExactKeyAlone) {
  LocaleEnvironment environment;
  environment.set("LANGUAGE", "sv");
  EXPECT_EQ(L("Charging"), "Charging");  // nothing is translated before initLocale
  environment.set("LC_ALL", "sv_SE.UTF-8");
  initLocale();
  // Keys are case-sensitive, "" is not the catalog header, a NUL does not end a key.
  // clang-format off
  for (const auto& [key, text] : std::vector<std::pair<std::string, std::string>>{{"Open Kelvo to sign in", "Öppna Kelvo för att logga in"},
           {"Not a key", "Not a key"}, {"charging", "charging"}, {"", ""}, {std::string("Charging\0Idle", 13), std::string("Charging\0Idle", 13)}})
    // clang-format on
    EXPECT_EQ(L(key), text) << key;
}

TEST(LocalizationTest, LookupsAndFormattingFromManyThreads) {
  const LocaleEnvironment environment("sv", "sv_SE.UTF-8");
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i)
        failures[t] += L("Charging") != "Laddar" ||
                       CarFormat::humanStatus("SMART_CHARGING") != "Smart laddning" ||
                       CarFormat::kilowatts(7400 + t, icu::Locale("de", "DE")) != "7,4 kW" ||
                       CarFormat::humanStatus("élan_ÜBER") != "Élan Über";
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(LocalizationTest, EachThreadSpeaksTheLanguageOfItsScope) {
  const LocaleEnvironment environment("sv", "sv_SE.UTF-8");
  const std::vector<std::string> languages = textLanguages();
  EXPECT_EQ(languages.size(), 18u);
  EXPECT_TRUE(std::is_sorted(languages.begin(), languages.end()));
  for (const char* language : {"en", "de", "pt_BR", "zh_CN"})
    EXPECT_EQ(std::count(languages.begin(), languages.end(), language), 1);
  // Each language against the process's Swedish, at once; a name without a catalog speaks English.
  const std::vector<std::array<std::string, 3>> cases{{"de", testing::readCatalog("de.po")["Charging"], "de"},
                                                      {"ar", testing::readCatalog("ar.po")["Charging"], "ar"},
                                                      {"en", "Charging", "en"},
                                                      {"tlh", "Charging", "tlh"}};
  std::vector<int> failures(cases.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < cases.size(); ++t) {
    threads.emplace_back([&, t] {
      const auto& [language, charging, name] = cases[t];
      for (int i = 0; i < 200; ++i) {
        {
          const ScopedTextLanguage scope(language);
          failures[t] += L("Charging") != charging || textLanguage().getName() != name;
        }
        failures[t] += L("Charging") != "Laddar";
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(cases.size(), 0));
}

}  // namespace
}  // namespace kelvo
