// Long and hostile texts: only what can be seen is handed to the measurer,
// so the work stays bounded however long the text is.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>

#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/WidgetRenderer.h"
#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

std::string repeat(const std::string& unit, std::size_t count) {
  std::string out;
  out.reserve(unit.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += unit;
  return out;
}

// The fixed-advance measurer, keeping count of what it was handed.
class CountingMeasurer final : public TextMeasurer {
 public:
  TextMetrics measure(const TextRequest& request) override {
    ++calls;
    bytes += request.text.size();
    longest = std::max(longest, request.text.size());
    maxLines = std::max(maxLines, request.maxLines);
    return inner_.measure(request);
  }
  int calls = 0;
  std::size_t bytes = 0;    // handed in all
  std::size_t longest = 0;  // the longest text handed
  int maxLines = 0;         // the most lines asked for

 private:
  FixedAdvanceTextMeasurer inner_;
};

struct Laid {
  CountingMeasurer counts;
  LaidOutNode root;
};

// `text` as a caption in a small widget's content area.
Laid layCaption(const std::string& text, std::optional<int> lineLimit, double minimumScale) {
  Laid l;
  const View view = Text(text).font(Font::caption).lineLimit(lineLimit).minimumScaleFactor(minimumScale);
  l.root = layoutView(VStack({view}), {16, 16, 138, 138}, Environment{}, l.counts);
  return l;
}

const TextDrawing& onlyText(const LaidOutNode& root) {
  const LaidOutNode* node = &root;
  while (!node->text && !node->children.empty()) node = &node->children.front();
  EXPECT_TRUE(node->text.has_value());
  return *node->text;
}

struct LongCase {
  const char* name;
  std::string unit;  // repeated 10,000 and 100,000 times
  std::optional<int> lineLimit;
  double minimumScale;
};

void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

class LongText : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongText, HandsTheMeasurerNoMoreThanCanBeSeenAndEndsInAnEllipsis) {
  const LongCase& c = GetParam();
  const Laid shorter = layCaption(repeat(c.unit, 10000), c.lineLimit, c.minimumScale);
  const Laid longer = layCaption(repeat(c.unit, 100000), c.lineLimit, c.minimumScale);
  // Ten times the text is not a byte more work: the cut comes first.
  EXPECT_EQ(longer.counts.bytes, shorter.counts.bytes);
  EXPECT_EQ(longer.counts.calls, shorter.counts.calls);
  // 138 points of 10-point characters at least 1.5 points wide, 170 points of lines at least 13 high.
  const double scale = c.minimumScale;
  const std::size_t perLine = std::size_t(138 / (1.5 * scale)) + 1,
                    lines = std::size_t(170 / (13 * scale)) + 1;
  EXPECT_LE(longer.counts.longest, perLine * lines * c.unit.size() + 3);
  EXPECT_LE(longer.counts.maxLines, int(lines));
  EXPECT_LE(longer.counts.calls, 24);

  const TextDrawing& drawn = onlyText(longer.root);
  EXPECT_TRUE(drawn.truncated);
  EXPECT_TRUE(drawn.request.text.ends_with("\u2026"));
  EXPECT_LE(drawn.lineCount, c.lineLimit.value_or(int(lines)));
}

INSTANTIATE_TEST_SUITE_P(Texts, LongText,
                         ::testing::Values(LongCase{"unbreakable", "A", std::nullopt, 1},
                                           LongCase{"oneLine", "A", 1, 1}, LongCase{"shrinking", "A", 1, 0.6},
                                           LongCase{"threeLines", "AB ", 3, 1},
                                           LongCase{"lines", "line\n", std::nullopt, 1},
                                           LongCase{"linesLimited", "line\n", 1, 1},
                                           LongCase{"thai", "\u0e01\u0e34", 2, 1},
                                           LongCase{"marks", "e\u0301\u0302", std::nullopt, 1},
                                           LongCase{"zeroWidth", "\u200b", 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LongText, ShortTextIsHandedOnWhole) {
  const Laid l = layCaption("Charging since 8:30", std::nullopt, 1);
  EXPECT_EQ(onlyText(l.root).request.text, "Charging since 8:30");
  EXPECT_FALSE(onlyText(l.root).truncated);
}

TEST(LongText, OneCharacterKeepsAtMost32CodePoints) {
  // "e" and 100,000 combining acute accents: one character of 200 KB.
  const Laid l = layCaption("e" + repeat("\u0301", 100000) + "x", std::nullopt, 1);
  EXPECT_EQ(onlyText(l.root).request.text, "e" + repeat("\u0301", 31) + "x");
  EXPECT_LE(l.counts.longest, 64u);
}

TEST(PangoTextMeasurer, LineLimitHoldsAcrossParagraphs) {
  const auto m = PangoTextMeasurer::create();
  ASSERT_TRUE(m.ok()) << m.error().message;
  // {text, lines allowed, lines shown}
  const struct {
    const char* text;
    int maxLines, lines;
  } cases[] = {
      {"line\nline2\nline3", 1, 1},
      {"line\nline2\nline3", 2, 2},
      {"short\nAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\nB", 2, 2},
      {"line\n\u2029\nline", 1, 1},
  };
  for (const auto& c : cases) {
    const TextMetrics t =
        (*m)->measure({.text = c.text, .font = Font::caption, .wrapWidth = 100, .maxLines = c.maxLines});
    EXPECT_EQ(t.lineCount, c.lines) << c.text;
    EXPECT_TRUE(t.truncated) << c.text;
    EXPECT_NEAR(t.size.height, 13.0 * c.lines, 0.01) << c.text;
  }
  const TextMetrics whole =
      (*m)->measure({.text = "line\nline2", .font = Font::caption, .wrapWidth = 100, .maxLines = 2});
  EXPECT_EQ(whole.lineCount, 2);
  EXPECT_FALSE(whole.truncated);
}

TEST(Render, NoncharactersAreReplacedAndEveryFormatDraws) {
  // {text, as shown}: noncharacters become U+FFFD, their neighbours stay.
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"a\uFFFEb", "a\uFFFDb"},
      {"\uFFFF", "\uFFFD"},
      {"\uFDD0\uFDEF", "\uFFFD\uFFFD"},
      {"\U0001FFFE\U0010FFFF", "\uFFFD\uFFFD"},
      {"\uFDCF\uFDF0\uFFFD\U0010FFFD", "\uFDCF\uFDF0\uFFFD\U0010FFFD"},
  };
  for (const auto& c : cases) {
    const View content = Text(c.text).widgetURL(std::string("kelvo://") + c.text);
    for (const auto format : {OutputFormat::json, OutputFormat::png, OutputFormat::svg, OutputFormat::pdf}) {
      const auto out = renderWidget(content, {}, format);
      EXPECT_TRUE(out.ok()) << c.text << ": " << out.error().message;
    }
    const auto layout = layoutWidget(content, {});
    ASSERT_TRUE(layout.ok());
    EXPECT_EQ(onlyText(layout->root).request.text, c.shown);
  }
}

}  // namespace
}  // namespace kelvo::ui
