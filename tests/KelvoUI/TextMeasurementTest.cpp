// The Pango measurer with the real fonts, and the symbol table against the
// icon fonts it names.

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <string>

#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/Symbols.h"

namespace kelvo::ui {
namespace {

std::shared_ptr<PangoTextMeasurer> pango() {
  auto made = PangoTextMeasurer::create();
  EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.error().message);
  return made.ok() ? *made : nullptr;
}

TextRequest request(std::string text, Font font = Font::body) {
  TextRequest r;
  r.text = std::move(text);
  r.font = std::move(font);
  return r;
}

TEST(PangoTextMeasurer, LinesAreAsTallAsTheTextStyleSays) {
  auto m = pango();
  ASSERT_TRUE(m);
  TextRequest r = request("Updated", Font::caption);
  TextMetrics one = m->measure(r);
  EXPECT_EQ(one.lineCount, 1);
  EXPECT_NEAR(one.size.height, 13, 0.01);
  EXPECT_GT(one.firstBaseline, 6);
  EXPECT_LT(one.firstBaseline, 13);

  r.text = "Updated\nagain";
  TextMetrics two = m->measure(r);
  EXPECT_EQ(two.lineCount, 2);
  EXPECT_NEAR(two.size.height, 26, 0.01);
  EXPECT_NEAR(two.lastBaseline - two.firstBaseline, 13, 0.01);
}

TEST(PangoTextMeasurer, WidthsScaleWithTheScaleFactor) {
  auto m = pango();
  ASSERT_TRUE(m);
  TextRequest r = request("100%", Font::system(38, FontWeight::semibold, FontDesign::rounded));
  const double full = m->measure(r).size.width;
  r.scale = 0.5;
  const double half = m->measure(r).size.width;
  EXPECT_GT(full, 60);
  EXPECT_NEAR(half, full / 2, 0.5);
}

TEST(PangoTextMeasurer, CutsAtTheLineLimitWithAnEllipsis) {
  auto m = pango();
  ASSERT_TRUE(m);
  TextRequest r = request("A long model name that will not fit");
  r.maxLines = 1;
  r.wrapWidth = 60;
  const TextMetrics cut = m->measure(r);
  EXPECT_TRUE(cut.truncated);
  EXPECT_EQ(cut.lineCount, 1);
  EXPECT_LE(cut.size.width, 60.01);
  r.wrapWidth = 1000;
  EXPECT_FALSE(m->measure(r).truncated);
  // Without a limit the text wraps instead.
  r.maxLines = 0;
  r.wrapWidth = 60;
  const TextMetrics wrapped = m->measure(r);
  EXPECT_FALSE(wrapped.truncated);
  EXPECT_GT(wrapped.lineCount, 2);
}

TEST(PangoTextMeasurer, ReportsWordsSplitToFitTheWidth) {
  auto m = pango();
  ASSERT_TRUE(m);
  TextRequest r = request("Supercalifragilistic");
  r.wrapWidth = 40;
  EXPECT_TRUE(m->measure(r).brokeWord);
  r.text = "ab cd ef gh";
  r.wrapWidth = 20;
  const TextMetrics words = m->measure(r);
  EXPECT_GT(words.lineCount, 1);
  EXPECT_FALSE(words.brokeWord);
}

TEST(PangoTextMeasurer, RoundedDesignUsesAnotherFace) {
  auto m = pango();
  ASSERT_TRUE(m);
  const double standard = m->measure(request("2468", Font::system(30, FontWeight::semibold))).size.width;
  const double rounded =
      m->measure(request("2468", Font::system(30, FontWeight::semibold, FontDesign::rounded))).size.width;
  EXPECT_GT(std::abs(standard - rounded), 0.5);
}

// Whether the family's font has a glyph for the code point (and is not a fallback).
bool fontHasGlyph(const char* family, char32_t codepoint) {
  PangoFontMap* map = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(map);
  PangoFontDescription* desc = pango_font_description_from_string(family);
  pango_font_description_set_absolute_size(desc, 24 * PANGO_SCALE);
  PangoFont* font = pango_font_map_load_font(map, context, desc);
  bool found = false;
  if (font) {
    PangoFontDescription* loaded = pango_font_describe(font);
    found = std::string(pango_font_description_get_family(loaded)) == family &&
            pango_font_has_char(font, gunichar(codepoint));
    pango_font_description_free(loaded);
    g_object_unref(font);
  }
  pango_font_description_free(desc);
  g_object_unref(context);
  g_object_unref(map);
  return found;
}

TEST(Symbols, EveryNameTheWidgetUsesHasAGlyphInItsFont) {
  for (const char* name : {"bolt.fill", "steeringwheel", "powerplug.fill", "parkingsign.square", "bolt.car",
                           "exclamationmark.triangle"}) {
    const auto glyph = lookupSymbol(name);
    ASSERT_TRUE(glyph) << name;
    EXPECT_TRUE(fontHasGlyph(glyph->fontFamily, glyph->codepoint)) << name;
  }
  EXPECT_EQ(lookupSymbol("parkingsign.square")->decoration, SymbolDecoration::roundedSquare);
}

TEST(Symbols, OtherNamesAreUnknown) {
  EXPECT_FALSE(lookupSymbol(""));
  EXPECT_FALSE(lookupSymbol("bolt"));
  EXPECT_FALSE(lookupSymbol("Bolt.fill"));
  EXPECT_FALSE(lookupSymbol("bolt.fill "));
}

}  // namespace
}  // namespace kelvo::ui
