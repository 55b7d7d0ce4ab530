#include <gtest/gtest.h>

#include <string>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/CurrentLocale.h"
#include "LocaleEnvironment.h"

using kelvo::currentLocale;
using kelvo::LocaleCategory;

namespace {
std::string name(const icu::Locale& locale) { return locale.getName(); }
}  // namespace

TEST(CurrentLocaleTest, PosixNamesLoseCodesetKeepScriptModifiersAndCIsEnglishUS) {
  EXPECT_EQ(name(kelvo::localeFromPosixName("de_DE.UTF-8@euro")), "de_DE");
  EXPECT_EQ(name(kelvo::localeFromPosixName("sv_SE.utf8")), "sv_SE");
  EXPECT_EQ(name(kelvo::localeFromPosixName("de")), "de");
  EXPECT_EQ(name(kelvo::localeFromPosixName("sr_RS.UTF-8@latin")), "sr_Latn_RS");
  EXPECT_EQ(name(kelvo::localeFromPosixName("uz_UZ.UTF-8@cyrillic")), "uz_Cyrl_UZ");
  EXPECT_EQ(name(kelvo::localeFromPosixName("ca_ES.UTF-8@valencia")), "ca_ES_VALENCIA");
  for (const char* posix : {"C", "POSIX", "", "C.UTF-8", ".UTF-8", "@euro", "/tmp/my-locale", "de DE"}) {
    EXPECT_EQ(name(kelvo::localeFromPosixName(posix)), "en_US") << posix;
  }
}

TEST(CurrentLocaleTest, LcAllThenCategoryThenLang) {
  LocaleEnvironment environment;
  EXPECT_EQ(name(currentLocale()), "en_US");  // nothing set
  environment.set("LANG", "sv_SE.UTF-8");
  EXPECT_EQ(name(currentLocale()), "sv_SE");
  environment.set("LC_NUMERIC", "de_DE.UTF-8");
  environment.set("LC_TIME", "en_GB.UTF-8");
  EXPECT_EQ(name(currentLocale(LocaleCategory::numeric)), "de_DE");
  EXPECT_EQ(name(currentLocale(LocaleCategory::time)), "en_GB");
  environment.set("LC_ALL", "fr_FR.UTF-8");
  EXPECT_EQ(name(currentLocale(LocaleCategory::time)), "fr_FR");
  environment.set("LC_ALL", "");  // empty counts as unset
  EXPECT_EQ(name(currentLocale(LocaleCategory::numeric)), "de_DE");
  environment.set("LANGUAGE", "de");  // the messages language does not change numbers
  environment.set("LC_NUMERIC", "en_US.UTF-8");
  EXPECT_EQ(kelvo::CarFormat::kilowatts(7400, currentLocale(LocaleCategory::numeric)), "7.4 kW");
}
