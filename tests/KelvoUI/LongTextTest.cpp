// Long and hostile texts: only what can be seen is handed to the measurer,
// so the work stays bounded however long the text is.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

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
struct CountingMeasurer final : TextMeasurer {
  TextMetrics measure(const TextRequest& request) override {
    ++calls;
    bytes += request.text.size();
    longest = std::max(longest, request.text.size());
    maxLines = std::max(maxLines, request.maxLines);
    return inner.measure(request);
  }
  int calls = 0;
  std::size_t bytes = 0;    // handed in all
  std::size_t longest = 0;  // the longest text handed
  int maxLines = 0;         // the most lines asked for
  FixedAdvanceTextMeasurer inner;
};

struct Laid {  // `text` as a caption in a small widget's content area
  Laid(const std::string& text, std::optional<int> lineLimit, double minimumScale)
      : root(layoutView(
            VStack({Text(text).font(Font::caption).lineLimit(lineLimit).minimumScaleFactor(minimumScale)}),
            {16, 16, 138, 138}, Environment{}, counts)) {}
  CountingMeasurer counts;
  LaidOutNode root;
};

struct LongCase {
  const char* name;
  std::string unit;  // repeated 10,000 and 100,000 times
  std::optional<int> lineLimit;
  double minimumScale;
};

class LongText : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongText, HandsTheMeasurerNoMoreThanCanBeSeenAndEndsInAnEllipsis) {
  const LongCase& c = GetParam();
  const Laid shorter(repeat(c.unit, 10000), c.lineLimit, c.minimumScale);
  const Laid longer(repeat(c.unit, 100000), c.lineLimit, c.minimumScale);
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

  const TextDrawing& drawn = *testing::textOf(longer.root.children.at(0));
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

}  // namespace
}  // namespace kelvo::ui
