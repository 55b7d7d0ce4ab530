// The catalogs as shipped: every catalog translates the whole template, and
// the compiled catalogs the programs load say what the sources say.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "KelvoShared/Localization.h"
#include "LocaleEnvironment.h"

namespace {

std::string unquote(const std::string& line) {
  std::string text;
  const std::size_t open = line.find('"');
  const std::size_t close = line.rfind('"');
  for (std::size_t i = open + 1; i < close; ++i) {
    if (line[i] == '\\' && i + 1 < close) {
      const char next = line[++i];
      text += next == 'n' ? '\n' : next == 't' ? '\t' : next;
    } else {
      text += line[i];
    }
  }
  return text;
}

// msgid to msgstr of a .po or .pot file, the header (msgid "") left out.
// Fuzzy entries are read like any other; msgfmt leaves them out of the
// compiled catalogs, so the lookups below find them untranslated.
std::map<std::string, std::string> readCatalog(const std::string& file) {
  std::ifstream in(std::string(KELVO_PO_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  std::map<std::string, std::string> entries;
  std::string line, msgid, *current = nullptr;
  while (std::getline(in, line)) {
    if (line.starts_with("msgid ")) {
      current = &(msgid = unquote(line));
    } else if (line.starts_with("msgstr ")) {
      current = &(entries[msgid] = unquote(line));
    } else if (line.starts_with('"') && current != nullptr) {
      *current += unquote(line);
    } else {
      current = nullptr;
    }
  }
  entries.erase("");
  return entries;
}

const std::vector<std::string> kLanguages = {"de", "sv"};

}  // namespace

TEST(CatalogTest, EveryCatalogTranslatesTheWholeTemplateAndCompilesToTheSame) {
  const auto templ = readCatalog("kelvo.pot");
  ASSERT_FALSE(templ.empty());
  for (const std::string& language : kLanguages) {
    const auto catalog = readCatalog(language + ".po");
    for (const auto& [msgid, unused] : templ) {
      const auto found = catalog.find(msgid);
      EXPECT_TRUE(found != catalog.end() && !found->second.empty()) << language << ".po misses " << msgid;
    }
    LocaleEnvironment environment;
    environment.set("LANGUAGE", language.c_str());
    environment.set("LC_ALL", "en_US.UTF-8");
    kelvo::initLocale();
    for (const auto& [msgid, msgstr] : catalog) {
      EXPECT_EQ(templ.count(msgid), 1u) << language << ".po has " << msgid << ", which the template lacks";
      EXPECT_EQ(kelvo::L(msgid, ""), msgstr) << language << ": " << msgid;
    }
  }
}
