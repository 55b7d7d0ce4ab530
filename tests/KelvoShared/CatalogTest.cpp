// The catalogs as shipped: every catalog translates the whole template, and
// the compiled catalogs the programs load say what the sources say.
#include <gtest/gtest.h>

#include <algorithm>
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

struct Catalog {
  std::map<std::string, std::string> entries;  // msgid to msgstr, the header left out
  std::vector<std::string> fuzzy;              // msgids marked fuzzy
  std::string header;                          // msgstr of msgid ""
};

// The entries of a .po or .pot file. Fuzzy entries are read like any other
// and listed apart: msgfmt leaves them out of the compiled catalogs.
Catalog readCatalog(const std::string& file) {
  std::ifstream in(std::string(KELVO_PO_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  Catalog catalog;
  std::string line, msgid, *current = nullptr;
  bool fuzzy = false;
  while (std::getline(in, line)) {
    if (line.starts_with("#,") && line.find("fuzzy") != std::string::npos) {
      fuzzy = true;
    } else if (line.starts_with("msgid ")) {
      current = &(msgid = unquote(line));
    } else if (line.starts_with("msgstr ")) {
      current = &(catalog.entries[msgid] = unquote(line));
      if (fuzzy && !msgid.empty()) catalog.fuzzy.push_back(msgid);
      fuzzy = false;
    } else if (line.starts_with('"') && current != nullptr) {
      *current += unquote(line);
    } else {
      current = nullptr;
    }
  }
  catalog.header = catalog.entries[""];
  catalog.entries.erase("");
  return catalog;
}

// po/LINGUAS, handed over by the build.
std::vector<std::string> languages() {
  std::vector<std::string> list;
  std::string all = KELVO_LANGUAGES;
  for (std::size_t start = 0; start <= all.size();) {
    const std::size_t comma = std::min(all.find(',', start), all.size());
    if (comma > start) list.push_back(all.substr(start, comma - start));
    start = comma + 1;
  }
  return list;
}

}  // namespace

TEST(CatalogTest, TheLanguageListNamesEveryShippedCatalog) {
  const std::vector<std::string> list = languages();
  EXPECT_EQ(list.size(), 17u);
  for (const char* language : {"de", "sv", "fr", "ja", "zh_CN", "ar", "he", "pt_BR"}) {
    EXPECT_NE(std::find(list.begin(), list.end(), language), list.end()) << language;
  }
}

TEST(CatalogTest, EveryCatalogTranslatesTheWholeTemplateAndCompilesToTheSame) {
  const auto templ = readCatalog("kelvo.pot").entries;
  ASSERT_FALSE(templ.empty());
  for (const std::string& language : languages()) {
    const Catalog read = readCatalog(language + ".po");
    const auto& catalog = read.entries;
    // The header names the language: the layout direction is read from it.
    EXPECT_NE(read.header.find("\nLanguage: " + language + "\n"), std::string::npos) << language;
    EXPECT_NE(read.header.find("charset=UTF-8"), std::string::npos) << language;
    EXPECT_EQ(read.fuzzy, std::vector<std::string>{}) << language << ".po has fuzzy entries";
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
      EXPECT_EQ(kelvo::L(msgid), msgstr) << language << ": " << msgid;
    }
  }
}
