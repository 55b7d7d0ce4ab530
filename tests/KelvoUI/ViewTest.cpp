#include <gtest/gtest.h>

#include <cmath>

#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

using testing::lay;
using testing::textOf;

TEST(View, ModifiersMakeNewViewsAndInnerStylingWins) {
  const View base = Text("abc");
  const View styled = base.font(Font::headline).foregroundStyle(Color::orange);
  EXPECT_EQ(textOf(lay(base, 100, 100))->request.font, Font::body);  // untouched by the modifiers
  EXPECT_EQ(textOf(lay(styled, 100, 100))->foreground.name(), "orange");
  const auto root =
      lay(VStack({Text("a").font(Font::caption), Text("b")}).font(Font::title).fontWeight(FontWeight::bold),
          100, 100);
  EXPECT_EQ(textOf(root.children[0])->request.font.styleName, "caption");
  EXPECT_EQ(textOf(root.children[0])->request.font.weight, FontWeight::bold);
  EXPECT_EQ(textOf(root.children[1])->request.font.styleName, "title");
  // A font set inside a weight keeps that weight.
  const auto inner =
      lay(Text("c").font(Font::caption2).fontWeight(FontWeight::bold).font(Font::body), 100, 100);
  EXPECT_EQ(textOf(inner)->request.font.weight, FontWeight::bold);
}

TEST(View, OutOfRangeValuesAreTamed) {
  // A scale factor cannot grow text, and NaN means none; a line limit of zero means no limit.
  for (const double factor : {3.0, double(NAN)}) {
    const auto root = lay(Text("abcdefghij").lineLimit(1).minimumScaleFactor(factor), 30, 100);
    EXPECT_DOUBLE_EQ(textOf(root)->request.scale, 1);
    EXPECT_TRUE(textOf(root)->truncated);
  }
  EXPECT_EQ(textOf(lay(Text("aaa bbb").lineLimit(0), 30, 100))->lineCount, 2);
  // A negative length is clamped to zero and NaN is ignored: never a negative size.
  const auto odd = lay(Text("ab").frame({.width = -5, .maxHeight = NAN}), 100, 100);
  EXPECT_DOUBLE_EQ(odd.frame.width, 0);
  EXPECT_EQ(textOf(odd.children[0])->lineCount, 2);  // one character per line
}

}  // namespace
}  // namespace kelvo::ui
