// The Pango measurer with the real fonts, and the symbol table against the
// icon fonts it names.

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/Symbols.h"

namespace kelvo::ui {
namespace {

PangoTextMeasurer& pango() {
  static const auto made = PangoTextMeasurer::create();
  if (!made.ok()) {  // the fonts come from install-deps
    std::fprintf(stderr, "%s\n", made.error().message.c_str());
    std::abort();
  }
  return **made;
}

TEST(PangoTextMeasurer, MeasuresBaselinesScaledDesignsLineLimitsAndSplitWords) {
  const TextMetrics two = pango().measure({.text = "Updated\nagain", .font = Font::caption});
  EXPECT_TRUE(two.firstBaseline > 6 && two.firstBaseline < 13) << two.firstBaseline;
  EXPECT_NEAR(two.lastBaseline - two.firstBaseline, 13, 0.01);
  TextRequest rounded{.text = "2468", .font = Font::system(30, FontWeight::semibold, FontDesign::rounded)};
  const double full = pango().measure(rounded).size.width;
  rounded.scale = 0.5;
  EXPECT_GT(full, 40);
  EXPECT_NEAR(pango().measure(rounded).size.width, full / 2, 0.5);
  const auto standard = pango().measure({.text = "2468", .font = Font::system(30, FontWeight::semibold)});
  EXPECT_GT(std::abs(standard.size.width - full), 0.5);  // the rounded design uses another face

  // Line limits (0: none) cut with an ellipsis; without one the text wraps, splitting only words too wide.
  const std::string model = "A long model name that will not fit";
  // clang-format off
  for (const auto& [text, wrapWidth, maxLines, lines, truncated, brokeWord] : std::vector<std::tuple<std::string, double, int, int, bool, bool>>{
           {model, 1000, 1, 1, false, false}, {model, 60, 1, 1, true, false}, {model, 60, 0, 4, false, false},
           {"Supercalifragilistic", 40, 0, 3, false, true}, {"line\nline2\nline3", 100, 2, 2, true, false},
           {"short\n" + std::string(64, 'A') + "\nB", 100, 2, 2, true, false}, {"line\n\u2029\nline", 100, 1, 1, true, false},
           {"line\nline2", 100, 2, 2, false, false}}) {
    // clang-format on
    const TextMetrics t =
        pango().measure({.text = text, .font = Font::caption, .wrapWidth = wrapWidth, .maxLines = maxLines});
    EXPECT_EQ(std::tuple(t.lineCount, t.truncated, t.brokeWord), std::tuple(lines, truncated, brokeWord))
        << text;
    EXPECT_NEAR(t.size.height, 13.0 * lines, 0.01) << text;
    EXPECT_LE(t.size.width, wrapWidth + 0.01) << text;
  }
}

// Layout measures a text once per set of lines: every request that sameLines
// matches to an earlier one must measure exactly as that one did, in
// wrapped, unwrapped, multi-paragraph and mixed-direction text.
TEST(PangoTextMeasurer, RequestsWithTheSameLinesMeasureTheSame) {
  std::vector<std::pair<TextRequest, TextMetrics>> measured;
  for (const char* text : {"Updated", "A long model name that will not fit", "line\nline2 is longer",
                           "\u0645\u062a\u0635\u0644 Connected\nKLV 042", "Supercalifragilistic",
                           // A space that begins a longer character, between directions: Pango asserts.
                           "\ufd67D \u0310\ufb6b", "a\u07a6 \u200db"})
    for (const double width : {0.0, 30.0, 60.0, 120.0, 1000.0, infinity})
      for (const int maxLines : {0, 1, 2, 3, 10})
        for (const auto alignment :
             {TextAlignment::leading, TextAlignment::center, TextAlignment::trailing}) {
          const TextRequest r{.text = text,
                              .font = Font::caption,
                              .wrapWidth = width,
                              .maxLines = maxLines,
                              .alignment = alignment};
          measured.emplace_back(r, pango().measure(r));
        }
  int reused = 0;
  for (const auto& [earlier, metrics] : measured) {
    for (const auto& [later, actual] : measured) {
      if (&earlier == &later || !sameLines(earlier, metrics, later)) continue;
      ++reused;
      EXPECT_TRUE(actual == metrics) << later.text << " at " << later.wrapWidth << " in " << later.maxLines
                                     << " lines, as at " << earlier.wrapWidth << " in " << earlier.maxLines;
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
