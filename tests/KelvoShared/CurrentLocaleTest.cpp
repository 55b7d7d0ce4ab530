#include <gtest/gtest.h>

#include "KelvoShared/CurrentLocale.h"
#include "LocaleEnvironment.h"

namespace kelvo {
namespace {

TEST(CurrentLocaleTest, PosixNamesLoseCodesetKeepScriptModifiersAndCIsEnglishUS) {
  // clang-format off
  for (const auto& [posix, icu] : std::vector<std::pair<const char*, const char*>>{{"de_DE.UTF-8@euro", "de_DE"},
           {"sv_SE.utf8", "sv_SE"}, {"de", "de"}, {"sr_RS.UTF-8@latin", "sr_Latn_RS"}, {"uz_UZ.UTF-8@cyrillic", "uz_Cyrl_UZ"},
           {"ca_ES.UTF-8@valencia", "ca_ES_VALENCIA"}, {"C", "en_US"}, {"POSIX", "en_US"}, {"", "en_US"}, {"C.UTF-8", "en_US"},
           {".UTF-8", "en_US"}, {"@euro", "en_US"}, {"/tmp/my-locale", "en_US"}, {"de DE", "en_US"}}) {
    EXPECT_EQ(std::string(localeFromPosixName(posix).getName()), icu) << posix;
  }
  // clang-format on
}

TEST(CurrentLocaleTest, LcAllThenCategoryThenLang) {
  testing::LocaleEnvironment environment;
  EXPECT_EQ(std::string(currentLocale().getName()), "en_US");  // nothing set
  environment.set("LANG", "sv_SE.UTF-8");
  EXPECT_EQ(std::string(currentLocale().getName()), "sv_SE");
  environment.set("LC_NUMERIC", "de_DE.UTF-8");
  environment.set("LC_TIME", "en_GB.UTF-8");
  environment.set("LC_ALL", "");      // empty counts as unset
  environment.set("LANGUAGE", "fr");  // the messages language changes neither numbers nor times
  EXPECT_EQ(std::string(currentLocale(LocaleCategory::numeric).getName()), "de_DE");
  EXPECT_EQ(std::string(currentLocale(LocaleCategory::time).getName()), "en_GB");
}

}  // namespace
}  // namespace kelvo
