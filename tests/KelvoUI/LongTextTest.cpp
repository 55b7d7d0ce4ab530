// Long and hostile texts: only what can be seen is handed to the measurer,
// so the work stays bounded however long the text is.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

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

// `text` as a caption in a small widget's content area.
LaidOutNode laid(const std::string& text, std::optional<int> lineLimit, double minimumScale,
                 TextMeasurer& measurer) {
  return layoutView(
      VStack({Text(text).font(Font::caption).lineLimit(lineLimit).minimumScaleFactor(minimumScale)}),
      {16, 16, 138, 138}, Environment{}, measurer);
}

TEST(LongText, HandsTheMeasurerNoMoreThanCanBeSeenAndEndsInAnEllipsis) {
  // clang-format off
  for (const auto& [name, unit, lineLimit, minimumScale] : std::vector<std::tuple<const char*, std::string, std::optional<int>, double>>{
           {"unbreakable", "A", std::nullopt, 1}, {"one line", "A", 1, 1}, {"shrinking", "A", 1, 0.6}, {"three lines", "AB ", 3, 1},
           {"lines", "line\n", std::nullopt, 1}, {"lines limited", "line\n", 1, 1}, {"thai", "\u0e01\u0e34", 2, 1},
           {"marks", "e\u0301\u0302", std::nullopt, 1}, {"zero width", "\u200b", 1, 1}}) {
    // clang-format on
    CountingMeasurer shorter, longer;
    laid(repeat(unit, 10000), lineLimit, minimumScale, shorter);
    const LaidOutNode root = laid(repeat(unit, 100000), lineLimit, minimumScale, longer);
    // Ten times the text is not a byte more work: the cut comes first.
    EXPECT_EQ(std::pair(longer.bytes, longer.calls), std::pair(shorter.bytes, shorter.calls)) << name;
    // 138 points of 10-point characters at least 1.5 points wide, 170 points of lines at least 13 high.
    const std::size_t perLine = std::size_t(138 / (1.5 * minimumScale)) + 1,
                      lines = std::size_t(170 / (13 * minimumScale)) + 1;
    EXPECT_LE(longer.longest, perLine * lines * unit.size() + 3) << name;
    EXPECT_LE(longer.maxLines, int(lines)) << name;
    EXPECT_LE(longer.calls, 24) << name;
    const TextDrawing& drawn = *testing::textOf(root.children.at(0));
    EXPECT_TRUE(drawn.truncated && drawn.request.text.ends_with("\u2026")) << name;
    EXPECT_LE(drawn.lineCount, lineLimit.value_or(int(lines))) << name;
  }
}

}  // namespace
}  // namespace kelvo::ui
