// The catalogs as shipped (CatalogsUpToDate checks that they translate the
// whole template): every one is built, and its compiled form says what the
// source says.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Catalogs.h"
#include "LocaleEnvironment.h"

namespace kelvo::testing {
namespace {

TEST(CatalogTest, EveryCatalogIsListedAndItsCompiledFormMatchesTheSource) {
  const std::vector<std::string> listed = catalogLanguages();
  for (const auto& file : std::filesystem::directory_iterator(KELVO_PO_DIR)) {
    if (file.path().extension() != ".po") continue;
    const std::string language = file.path().stem().string();
    EXPECT_NE(std::find(listed.begin(), listed.end(), language), listed.end())
        << language << " is not in LINGUAS";
  }
  for (const std::string& language : listed) {
    std::map<std::string, std::string> catalog = readCatalog(language + ".po");
    // The header names the language: the layout direction is read from it.
    EXPECT_NE(catalog[""].find("\nLanguage: " + language + "\n"), std::string::npos) << language;
    EXPECT_NE(catalog[""].find("charset=UTF-8"), std::string::npos) << language;
    catalog.erase("");
    ASSERT_FALSE(catalog.empty()) << language;
    const LocaleEnvironment environment(language.c_str(), "en_US.UTF-8");
    for (const auto& [msgid, msgstr] : catalog) EXPECT_EQ(L(msgid), msgstr) << language << ": " << msgid;
  }
}

}  // namespace
}  // namespace kelvo::testing
