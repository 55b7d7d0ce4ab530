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

struct Entry {
  std::string msgstr;
  bool fuzzy = false;
};

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

// The entries of a .po or .pot file by msgid (the header, msgid "", left out).
std::map<std::string, Entry> readCatalog(const std::string& file) {
  std::ifstream in(std::string(KELVO_PO_DIR) + "/" + file);
  EXPECT_TRUE(in) << file;
  std::map<std::string, Entry> entries;
  std::string line, msgid, msgstr, *current = nullptr;
  bool fuzzy = false, obsolete = false;
  auto finish = [&] {
    if (current != nullptr && !msgid.empty() && !obsolete) entries[msgid] = {msgstr, fuzzy};
    msgid.clear();
    msgstr.clear();
    current = nullptr;
    fuzzy = obsolete = false;
  };
  while (std::getline(in, line)) {
    if (line.empty()) {
      finish();
    } else if (line.rfind("#~", 0) == 0) {
      obsolete = true;
    } else if (line.rfind("#,", 0) == 0) {
      fuzzy = fuzzy || line.find("fuzzy") != std::string::npos;
    } else if (line.rfind("msgid ", 0) == 0) {
      current = &msgid;
      *current = unquote(line);
    } else if (line.rfind("msgstr ", 0) == 0) {
      current = &msgstr;
      *current = unquote(line);
    } else if (line[0] == '"' && current != nullptr) {
      *current += unquote(line);
    } else if (line[0] != '#') {
      ADD_FAILURE() << file << ": unexpected line " << line;
    }
  }
  finish();
  return entries;
}

const std::vector<std::string> kLanguages = {"de", "sv"};

}  // namespace

TEST(CatalogTest, EveryCatalogTranslatesTheWholeTemplateAndCompilesToTheSame) {
  const auto templ = readCatalog("kelvo.pot");
  ASSERT_FALSE(templ.empty());
  for (const std::string& language : kLanguages) {
    const auto catalog = readCatalog(language + ".po");
    for (const auto& [msgid, entry] : templ) {
      const auto found = catalog.find(msgid);
      ASSERT_NE(found, catalog.end()) << language << ".po misses \"" << msgid << '"';
      EXPECT_FALSE(found->second.msgstr.empty() || found->second.fuzzy) << language << ": " << msgid;
    }
    LocaleEnvironment environment;
    environment.set("LANGUAGE", language.c_str());
    environment.set("LC_ALL", "en_US.UTF-8");
    kelvo::initLocale();
    for (const auto& [msgid, entry] : catalog) {
      EXPECT_EQ(templ.count(msgid), 1u)
          << language << ".po has \"" << msgid << "\", which the template lacks";
      EXPECT_EQ(kelvo::L(msgid, ""), entry.msgstr) << language << ": " << msgid;
    }
  }
}
