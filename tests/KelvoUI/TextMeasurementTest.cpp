// The Pango measurer with the real fonts, and the symbol table against the
// icon fonts it names.

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <string>
#include <utility>
#include <vector>

#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/Symbols.h"

namespace kelvo::ui {
namespace {

TEST(PangoTextMeasurer, MeasuresBaselinesScaledDesignsLineLimitsAndSplitWords) {
  const auto m = PangoTextMeasurer::create();
  ASSERT_TRUE(m.ok()) << m.error().message;
  const TextMetrics two = (*m)->measure({.text = "Updated\nagain", .font = Font::caption});
  EXPECT_GT(two.firstBaseline, 6);
  EXPECT_LT(two.firstBaseline, 13);
  EXPECT_NEAR(two.lastBaseline - two.firstBaseline, 13, 0.01);

  TextRequest rounded{.text = "2468", .font = Font::system(30, FontWeight::semibold, FontDesign::rounded)};
  const double full = (*m)->measure(rounded).size.width;
  rounded.scale = 0.5;
  EXPECT_GT(full, 40);
  EXPECT_NEAR((*m)->measure(rounded).size.width, full / 2, 0.5);
  const auto standard = (*m)->measure({.text = "2468", .font = Font::system(30, FontWeight::semibold)});
  EXPECT_GT(std::abs(standard.size.width - full), 0.5);  // the rounded design uses another face

  // Line limits cut with an ellipsis; without one the text wraps, splitting only words too wide.
  const std::string model = "A long model name that will not fit";
  const struct {
    std::string text;
    double wrapWidth;
    int maxLines, lines;  // maxLines 0: no limit
    bool truncated, brokeWord;
  } cases[] = {{model, 1000, 1, 1, false, false},
               {model, 60, 1, 1, true, false},
               {model, 60, 0, 4, false, false},
               {"Supercalifragilistic", 40, 0, 3, false, true},
               {"line\nline2\nline3", 100, 2, 2, true, false},
               {"short\n" + std::string(64, 'A') + "\nB", 100, 2, 2, true, false},
               {"line\n\u2029\nline", 100, 1, 1, true, false},
               {"line\nline2", 100, 2, 2, false, false}};
  for (const auto& c : cases) {
    const TextMetrics t = (*m)->measure(
        {.text = c.text, .font = Font::caption, .wrapWidth = c.wrapWidth, .maxLines = c.maxLines});
    EXPECT_EQ(t.lineCount, c.lines) << c.text;
    EXPECT_EQ(t.truncated, c.truncated) << c.text;
    EXPECT_EQ(t.brokeWord, c.brokeWord) << c.text;
    EXPECT_NEAR(t.size.height, 13.0 * c.lines, 0.01) << c.text;
    EXPECT_LE(t.size.width, c.wrapWidth + 0.01) << c.text;
  }
}

// Layout measures a text once per set of lines: every request that sameLines
// matches to an earlier one must measure exactly as that one did, in
// wrapped, unwrapped, multi-paragraph and mixed-direction text.
TEST(PangoTextMeasurer, RequestsWithTheSameLinesMeasureTheSame) {
  const auto m = PangoTextMeasurer::create();
  ASSERT_TRUE(m.ok()) << m.error().message;
  std::vector<std::pair<TextRequest, TextMetrics>> measured;
  for (const char* text : {"Updated", "A long model name that will not fit", "line\nline2 is longer",
                           "\u0645\u062a\u0635\u0644 Connected\nKLV 042", "Supercalifragilistic",
                           // A space that begins a longer character, between directions: Pango asserts.
                           "\ufd67D \u0310\ufb6b", "a\u07a6 \u200db"}) {
    for (const double width : {0.0, 30.0, 60.0, 120.0, 1000.0, infinity}) {
      for (const int maxLines : {0, 1, 2, 3, 10}) {
        for (const TextAlignment alignment :
             {TextAlignment::leading, TextAlignment::center, TextAlignment::trailing}) {
          const TextRequest r{.text = text,
                              .font = Font::caption,
                              .wrapWidth = width,
                              .maxLines = maxLines,
                              .alignment = alignment};
          measured.emplace_back(r, (*m)->measure(r));
        }
      }
    }
  }
  int reused = 0;
  for (const auto& [earlier, metrics] : measured) {
    for (const auto& [later, actual] : measured) {
      if (&earlier == &later || !sameLines(earlier, metrics, later)) continue;
      ++reused;
      SCOPED_TRACE(later.text + " at " + std::to_string(later.wrapWidth) + " in " +
                   std::to_string(later.maxLines) + " lines, as at " + std::to_string(earlier.wrapWidth) +
                   " in " + std::to_string(earlier.maxLines));
      EXPECT_TRUE(actual == metrics);
    }
  }
  EXPECT_GT(reused, 1000);  // the rule matches often enough to matter
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
}

}  // namespace
}  // namespace kelvo::ui
