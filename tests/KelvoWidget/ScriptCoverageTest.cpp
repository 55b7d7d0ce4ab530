// Every text of every catalog, and ICU's ages and distances in each language,
// drawn with the fonts the widget uses: through fontconfig's fallback from
// Inter, no character may come out as the missing-glyph box.

#include <gtest/gtest.h>

#include "Catalogs.h"
#include "KelvoShared/CarFormat.h"
#include "KelvoUI/Font.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/RelativeTime.h"
#include "LocaleEnvironment.h"

namespace kelvo::widget {
namespace {

// The widget's text styles, weights and the rounded design.
int unknownGlyphs(ui::PangoTextMeasurer& measurer, const std::string& text) {
  int unknown = 0;
  for (const ui::Font& font :
       {ui::Font::headline, ui::Font::callout.withWeight(ui::FontWeight::medium), ui::Font::caption,
        ui::Font::caption2, ui::Font::system(32, ui::FontWeight::semibold, ui::FontDesign::rounded)}) {
    unknown += measurer.measure({.text = text, .font = font}).unknownGlyphs;
  }
  return unknown;
}

TEST(ScriptCoverage, EveryLanguageDrawsWithoutMissingGlyphs) {
  auto measurer = ui::PangoTextMeasurer::create();
  ASSERT_TRUE(measurer.ok()) << measurer.error().message;
  EXPECT_EQ(unknownGlyphs(**measurer, "a\u0378b"), 5);  // an unassigned code point: the check sees it
  const auto keys = kelvo::testing::readCatalog("kelvo.pot");
  ASSERT_GT(keys.size(), 20u);
  for (const std::string& language : kelvo::testing::catalogLanguages()) {
    const kelvo::testing::LocaleEnvironment use(language.c_str(), "C.UTF-8");
    ASSERT_EQ(textLanguage().getName(), language);
    const icu::Locale locale(language.c_str());
    std::vector<std::string> texts = {
        ui::relativeTimeText(1000 - 480, 1000, ui::RelativeUnitsStyle::abbreviated, locale),
        ui::relativeTimeText(1000 - 7200, 1000, ui::RelativeUnitsStyle::narrow, locale),
        CarFormat::distance(23412, CarFormat::Grouping::grouped, DistanceUnit::kilometers, locale),
        CarFormat::kilowatts(7400, locale)};
    for (const auto& [key, unused] : keys) texts.push_back(L(key));
    for (const std::string& text : texts)
      EXPECT_EQ(unknownGlyphs(**measurer, text), 0) << language << ": " << text;
  }
}

}  // namespace
}  // namespace kelvo::widget
