// Every text of every catalog, and ICU's ages and distances in each language,
// drawn with the fonts the widget uses: through fontconfig's fallback from
// Inter, no character may come out as the missing-glyph box.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "KelvoUI/Font.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/RelativeTime.h"

namespace kelvo::widget {
namespace {

std::vector<std::string> split(const std::string& all) {
  std::vector<std::string> list;
  for (std::size_t start = 0; start <= all.size();) {
    const std::size_t comma = std::min(all.find(',', start), all.size());
    if (comma > start) list.push_back(all.substr(start, comma - start));
    start = comma + 1;
  }
  return list;
}

// The template's msgids (one line each, no escapes in ours but quotes).
std::vector<std::string> templateKeys() {
  std::ifstream in(std::string(KELVO_PO_DIR) + "/kelvo.pot");
  std::vector<std::string> keys;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with("msgid \"") || line == "msgid \"\"") continue;
    std::string key = line.substr(7, line.size() - 8);
    for (std::size_t at = key.find("\\\""); at != std::string::npos; at = key.find("\\\"", at))
      key.erase(at, 1);
    keys.push_back(key);
  }
  return keys;
}

// The fonts of the widget's texts: styles, weights and the rounded design.
const std::vector<ui::Font> kFonts = {
    ui::Font::headline, ui::Font::callout.withWeight(ui::FontWeight::medium), ui::Font::caption,
    ui::Font::caption2, ui::Font::system(32, ui::FontWeight::semibold, ui::FontDesign::rounded)};

int unknownGlyphs(ui::PangoTextMeasurer& measurer, const std::string& text) {
  int unknown = 0;
  for (const ui::Font& font : kFonts) unknown += measurer.measure({.text = text, .font = font}).unknownGlyphs;
  return unknown;
}

TEST(ScriptCoverage, TheCheckSeesAMissingGlyph) {
  auto measurer = ui::PangoTextMeasurer::create();
  ASSERT_TRUE(measurer.ok()) << measurer.error().message;
  EXPECT_EQ(unknownGlyphs(**measurer, "Charging 64%"), 0);
  EXPECT_EQ(unknownGlyphs(**measurer, "a\u0378b"), int(kFonts.size()));  // an unassigned code point
}

TEST(ScriptCoverage, EveryLanguageDrawsWithoutMissingGlyphs) {
  auto measurer = ui::PangoTextMeasurer::create();
  ASSERT_TRUE(measurer.ok()) << measurer.error().message;
  const std::vector<std::string> keys = templateKeys();
  ASSERT_GT(keys.size(), 20u);
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const char* name : {"LANGUAGE", "LC_ALL"}) {
    const char* value = std::getenv(name);
    saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  for (const std::string& language : split(KELVO_LANGUAGES)) {
    setenv("LANGUAGE", language.c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    initLocale();
    ASSERT_EQ(textLanguage().getName(), language);
    std::vector<std::string> texts;
    for (const std::string& key : keys) texts.push_back(L(key));
    const icu::Locale locale(language.c_str());
    texts.push_back(ui::relativeTimeText(1000 - 480, 1000, ui::RelativeUnitsStyle::abbreviated, locale));
    texts.push_back(ui::relativeTimeText(1000 - 7200, 1000, ui::RelativeUnitsStyle::narrow, locale));
    texts.push_back(
        CarFormat::distance(23412, CarFormat::Grouping::grouped, DistanceUnit::kilometers, locale));
    texts.push_back(CarFormat::kilowatts(7400, locale));
    for (const std::string& text : texts)
      EXPECT_EQ(unknownGlyphs(**measurer, text), 0) << language << ": " << text;
  }
  for (const auto& [name, value] : saved)
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  initLocale();
}

}  // namespace
}  // namespace kelvo::widget
