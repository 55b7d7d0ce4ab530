// The catalogs as shipped: every text the programs look up is in the
// template, every catalog translates all of it, and the compiled catalogs
// the programs load say what the sources say.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
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

// Every text the widget and the shared module look up.
const std::vector<std::string> kLocalizableTexts = {
    "Charging",     "Idle",
    "Done",         "Discharging",
    "Error",        "Fault",
    "Scheduled",    "Smart charging",
    "In use",       "Kilometers (km)",
    "Miles (mi)",   "Kelvo",
    "No data yet",  "Open Kelvo to sign in",
    "Full in",      "Power",
    "Charger",      "Connected",
    "Disconnected", "Odometer",
    "Updated",      "Battery, range and charging status for your Volvo.",
};

const std::vector<std::string> kLanguages = {"de", "sv"};

}  // namespace

TEST(CatalogTest, TemplateHoldsEveryLocalizableText) {
  const auto templ = readCatalog("kelvo.pot");
  for (const std::string& text : kLocalizableTexts) EXPECT_EQ(templ.count(text), 1u) << text;
  // Texts that are never localised stay out.
  for (const char* text : {"min", "h", "m", " kW", "km", "mi"}) EXPECT_EQ(templ.count(text), 0u) << text;
}

TEST(CatalogTest, EveryCatalogTranslatesTheWholeTemplate) {
  const auto templ = readCatalog("kelvo.pot");
  ASSERT_GE(templ.size(), kLocalizableTexts.size());
  for (const std::string& language : kLanguages) {
    const auto catalog = readCatalog(language + ".po");
    for (const auto& [msgid, entry] : templ) {
      auto found = catalog.find(msgid);
      ASSERT_NE(found, catalog.end()) << language << ".po misses \"" << msgid << '"';
      EXPECT_FALSE(found->second.msgstr.empty()) << language << ".po leaves \"" << msgid << "\" empty";
      EXPECT_FALSE(found->second.fuzzy) << language << ".po has \"" << msgid << "\" fuzzy";
    }
    for (const auto& [msgid, entry] : catalog) {
      EXPECT_EQ(templ.count(msgid), 1u)
          << language << ".po has \"" << msgid << "\", which the template lacks";
    }
  }
}

TEST(CatalogTest, CompiledCatalogsMatchTheirSources) {
  for (const std::string& language : kLanguages) {
    LocaleEnvironment environment;
    environment.set("LANGUAGE", language.c_str());
    environment.set("LC_ALL", "en_US.UTF-8");
    kelvo::initLocale();
    for (const auto& [msgid, entry] : readCatalog(language + ".po")) {
      EXPECT_EQ(kelvo::L(msgid, ""), entry.msgstr) << language << ": " << msgid;
    }
  }
}
