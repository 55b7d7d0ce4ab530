#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

using testing::at;
using testing::lay;

// Body text: 13 pt, so 6.5 pt per character and 16 pt lines.
constexpr double bodyAdvance = 6.5;

TEST(StackLayout, SpacerTakesWhatTheTextsLeave) {
  const auto root = lay(HStack({.spacing = 0}, {Text("abcd"), Spacer(), Text("ab")}), 100, 50);
  ASSERT_EQ(root.children.size(), 3u);
  EXPECT_DOUBLE_EQ(at(root, {0}).frame.width, 4 * bodyAdvance);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.x, 26);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.width, 100 - 26 - 13);
  EXPECT_DOUBLE_EQ(at(root, {2}).frame.x, 87);
  // The stack is as tall as one line and centred in the box.
  EXPECT_DOUBLE_EQ(root.frame.height, 16);
  EXPECT_DOUBLE_EQ(root.frame.y, 17);
}

TEST(StackLayout, SpacersShareTheFreeSpaceEqually) {
  const auto root = lay(HStack({.spacing = 0}, {Spacer(), Text("ab"), Spacer()}), 100, 20);
  EXPECT_DOUBLE_EQ(at(root, {0}).frame.width, 43.5);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.x, 43.5);
  EXPECT_DOUBLE_EQ(at(root, {2}).frame.width, 43.5);
}

TEST(StackLayout, SpacerKeepsItsMinimumAndTheTextGivesWay) {
  const auto root = lay(HStack({.spacing = 0}, {Text("aaaaaaaaaa").lineLimit(1), Spacer(20)}), 70, 20);
  const auto& text = at(root, {0});
  ASSERT_TRUE(text.text);
  EXPECT_TRUE(text.text->truncated);
  EXPECT_LE(text.frame.width, 50);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.width, 70 - text.frame.width);
  EXPECT_GE(at(root, {1}).frame.width, 20);
}

TEST(StackLayout, DefaultSpacingIsEightPoints) {
  const auto h = lay(HStack({Text("ab"), Text("cd")}), 100, 20);
  EXPECT_DOUBLE_EQ(at(h, {1}).frame.x - at(h, {0}).frame.x, 13 + 8);
  const auto v = lay(VStack({Text("ab"), Text("cd")}), 100, 100);
  EXPECT_DOUBLE_EQ(at(v, {1}).frame.y - at(v, {0}).frame.y, 16 + 8);
}

TEST(StackLayout, LeastFlexibleChildIsOfferedSpaceFirst) {
  // Equal halves would leave the long text 50 points; the short one takes its
  // 39 first and the long one gets the remaining 61.
  const auto root =
      lay(HStack({.spacing = 0}, {Text("aaaaaaaaaaaaaaaaaaaa").lineLimit(1), Text("bbbbbb")}), 100, 20);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.width, 39);
  EXPECT_GT(at(root, {0}).frame.width, 50);
  EXPECT_LE(at(root, {0}).frame.width, 61);
  EXPECT_TRUE(at(root, {0}).text->truncated);
  EXPECT_FALSE(at(root, {1}).text->truncated);
}

TEST(StackLayout, VerticalSpacerFillsTheHeight) {
  const auto root = lay(VStack({.spacing = 0}, {Text("a"), Spacer(4), Text("b")}), 50, 100);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.height, 100 - 32);
  EXPECT_DOUBLE_EQ(at(root, {2}).frame.y, 84);
}

TEST(StackLayout, EmptyAndMissingChildrenTakeNoSpaceOrSpacing) {
  const std::optional<View> missing;
  const auto root = lay(VStack({Text("a"), View(), missing, EmptyView(), Text("b")}), 50, 100);
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.y - at(root, {0}).frame.y, 16 + 8);
}

TEST(StackLayout, VStackAlignsChildrenHorizontally) {
  const auto leading =
      lay(VStack({.alignment = HorizontalAlignment::leading}, {Text("abcd"), Text("ab")}), 100, 100);
  EXPECT_DOUBLE_EQ(at(leading, {1}).frame.x, at(leading, {0}).frame.x);
  const auto trailing =
      lay(VStack({.alignment = HorizontalAlignment::trailing}, {Text("abcd"), Text("ab")}), 100, 100);
  EXPECT_DOUBLE_EQ(at(trailing, {1}).frame.x, at(trailing, {0}).frame.x + 13);
}

TEST(StackLayout, FirstTextBaselineAlignsBaselinesNotTops) {
  // 38 pt: 45.6 pt line, baseline at 36.48; caption: 13 pt line, baseline at 10.4.
  const auto root = lay(HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 0},
                               {Text("A").font(Font::system(38)), Text("b").font(Font::caption)}),
                        100, 100);
  const auto& big = at(root, {0});
  const auto& small = at(root, {1});
  EXPECT_NEAR(big.frame.y + 0.8 * 45.6, small.frame.y + 0.8 * 13, 1e-9);
  EXPECT_NEAR(root.frame.height, 45.6, 1e-9);
  // Centre alignment would put the caption 16.3 pt down instead.
  EXPECT_NEAR(small.frame.y - big.frame.y, 36.48 - 10.4, 1e-9);
}

TEST(StackLayout, BaselineOfANestedStackIsItsFirstText) {
  const auto root =
      lay(HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 0},
                 {VStack({.spacing = 1}, {Text("T").font(Font::headline), Text("r").font(Font::caption2)}),
                  Text("x").font(Font::caption)}),
          100, 100);
  const auto& title = at(root, {0, 0});
  const auto& label = at(root, {1});
  EXPECT_NEAR(title.frame.y + 0.8 * 16, label.frame.y + 0.8 * 13, 1e-9);
}

TEST(FrameLayout, MaxWidthInfinityTakesTheWidthAndAligns) {
  const auto leading =
      lay(Text("ab").frame({.maxWidth = infinity, .alignment = Alignment::leading}), 200, 100);
  EXPECT_DOUBLE_EQ(leading.frame.width, 200);
  EXPECT_DOUBLE_EQ(leading.frame.height, 16);
  EXPECT_DOUBLE_EQ(at(leading, {0}).frame.x, 0);
  const auto trailing =
      lay(Text("ab").frame({.maxWidth = infinity, .alignment = Alignment::trailing}), 200, 100);
  EXPECT_DOUBLE_EQ(at(trailing, {0}).frame.x, 187);
  const auto corner =
      lay(Text("ab").frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading}),
          200, 100);
  EXPECT_EQ(corner.frame, (Rect{0, 0, 200, 100}));
  EXPECT_EQ(at(corner, {0}).frame, (Rect{0, 0, 13, 16}));
  const auto centre = lay(Text("ab").frame({.maxWidth = infinity, .maxHeight = infinity}), 200, 100);
  EXPECT_EQ(at(centre, {0}).frame, (Rect{93.5, 42, 13, 16}));
}

TEST(FrameLayout, MinimumAndMaximumClampTheChild) {
  EXPECT_DOUBLE_EQ(lay(Text("ab").frame({.minWidth = 50}), 200, 50).frame.width, 50);
  // A maximum narrower than the text makes it wrap inside.
  const auto narrow = lay(Text("aaaa bbbb").frame({.maxWidth = 30}), 200, 100);
  EXPECT_DOUBLE_EQ(narrow.frame.width, 30);
  EXPECT_EQ(at(narrow, {0}).text->lineCount, 2);
}

TEST(FrameLayout, FixedFrameSetsTheSizeAndCentresItsContent) {
  const auto capsule = lay(Capsule().frame({.width = 40, .height = 6}), 200, 100);
  EXPECT_EQ(capsule.frame, (Rect{80, 47, 40, 6}));
  EXPECT_EQ(at(capsule, {0}).frame, (Rect{80, 47, 40, 6}));
  const auto text = lay(Text("ab").frame({.width = 100}), 200, 100);
  EXPECT_DOUBLE_EQ(text.frame.width, 100);
  EXPECT_DOUBLE_EQ(text.frame.height, 16);
  EXPECT_DOUBLE_EQ(at(text, {0}).frame.x - text.frame.x, 43.5);
}

TEST(FrameLayout, PaddingAddsAroundTheChild) {
  const auto all = lay(Text("ab").padding(), 200, 100);
  EXPECT_DOUBLE_EQ(all.frame.width, 13 + 32);
  EXPECT_DOUBLE_EQ(all.frame.height, 16 + 32);
  EXPECT_DOUBLE_EQ(at(all, {0}).frame.x - all.frame.x, 16);
  EXPECT_DOUBLE_EQ(at(all, {0}).frame.y - all.frame.y, 16);
  const auto vertical = lay(Text("ab").padding(Edges::vertical, 4), 200, 100);
  EXPECT_DOUBLE_EQ(vertical.frame.width, 13);
  EXPECT_DOUBLE_EQ(vertical.frame.height, 24);
  EXPECT_DOUBLE_EQ(at(vertical, {0}).frame.y - vertical.frame.y, 4);
  // Padding takes its room out of the proposal: a flexible child is narrower.
  const auto flexible = lay(Capsule().padding(10), 200, 100);
  EXPECT_EQ(at(flexible, {0}).frame, (Rect{10, 10, 180, 80}));
}

TEST(GridLayout, TwoFlexibleColumnsSplitTheWidthLessSpacingAndFillRowByRow) {
  const std::vector<std::string> labels{"one", "two", "three"};
  struct Item {
    std::string key;
    std::string id() const { return key; }
  };
  std::vector<Item> items;
  for (const auto& l : labels) items.push_back({l});
  const auto root = lay(LazyVGrid({.columns = {GridItem{.alignment = Alignment::leading},
                                               GridItem{.alignment = Alignment::leading}},
                                   .alignment = HorizontalAlignment::leading,
                                   .spacing = 8},
                                  {ForEach(items, [](const Item& i) { return Text(i.key); })}),
                        200, 100);
  EXPECT_DOUBLE_EQ(root.frame.width, 200);
  EXPECT_DOUBLE_EQ(root.frame.height, 16 + 8 + 16);
  const auto& forEach = at(root, {0});
  EXPECT_EQ(forEach.type, "ForEach");
  ASSERT_EQ(forEach.children.size(), 3u);
  EXPECT_EQ(forEach.children[0].id, "one");
  EXPECT_EQ(forEach.children[2].id, "three");
  const double top = root.frame.y;
  EXPECT_EQ(forEach.children[0].frame, (Rect{0, top, 19.5, 16}));
  EXPECT_EQ(forEach.children[1].frame, (Rect{(200 - 8) / 2 + 8, top, 19.5, 16}));
  EXPECT_EQ(forEach.children[2].frame, (Rect{0, top + 24, 32.5, 16}));
}

TEST(GridLayout, CellsAreCentredInTheirColumnByDefaultAndProposedTheColumnWidth) {
  const auto root = lay(LazyVGrid({.columns = {GridItem::flexible(), GridItem::flexible()}},
                                  {Text("ab"), Text("aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii")}),
                        108, 200);
  // Columns are 50 wide: the short text is centred, the long one wraps at 50.
  EXPECT_DOUBLE_EQ(at(root, {0}).frame.x - root.frame.x, (50 - 13) / 2.0);
  EXPECT_LE(at(root, {1}).frame.width, 50);
  EXPECT_GT(at(root, {1}).text->lineCount, 1);
  EXPECT_DOUBLE_EQ(root.frame.height, at(root, {1}).frame.height);
}

TEST(GeometryReaderLayout, HandsItsContentTheWidthItIsGiven) {
  double seen = -1;
  const auto root = lay(
      VStack({.spacing = 0}, {GeometryReader([&](const GeometryProxy& geo) {
                                seen = geo.size.width;
                                return ZStack({.alignment = Alignment::leading},
                                              {Capsule(), Capsule().frame({.width = geo.size.width * 0.5})});
                              }).frame({.height = 6}),
                              Text("ab")}),
      120, 100);
  EXPECT_DOUBLE_EQ(seen, 120);
  const auto& reader = at(root, {0, 0});
  EXPECT_EQ(reader.type, "GeometryReader");
  EXPECT_DOUBLE_EQ(reader.frame.width, 120);
  EXPECT_DOUBLE_EQ(reader.frame.height, 6);
  const auto& track = at(reader, {0, 0});
  const auto& fill = at(reader, {0, 1});
  EXPECT_DOUBLE_EQ(track.frame.width, 120);
  EXPECT_DOUBLE_EQ(fill.frame.x, reader.frame.x);
  EXPECT_DOUBLE_EQ(at(fill, {0}).frame.width, 60);
  EXPECT_DOUBLE_EQ(at(fill, {0}).frame.height, 6);
}

TEST(TextLayout, OneLineTextShrinksBeforeItTruncates) {
  // 38 pt: 19 pt per character, so "100%" wants 76 points.
  const View percent = Text("100%").font(Font::system(38)).minimumScaleFactor(0.6).lineLimit(1);
  const auto fits = lay(percent, 60, 100);
  ASSERT_TRUE(fits.text);
  EXPECT_FALSE(fits.text->truncated);
  EXPECT_LT(fits.text->request.scale, 1);
  EXPECT_GE(fits.text->request.scale, 60.0 / 76 - 0.01);
  EXPECT_LE(fits.text->request.scale, 60.0 / 76);
  EXPECT_LE(fits.frame.width, 60);

  const auto tooNarrow = lay(percent, 40, 100);
  EXPECT_TRUE(tooNarrow.text->truncated);
  EXPECT_DOUBLE_EQ(tooNarrow.text->request.scale, 0.6);

  const auto roomy = lay(percent, 100, 100);
  EXPECT_DOUBLE_EQ(roomy.text->request.scale, 1);
  EXPECT_DOUBLE_EQ(roomy.frame.width, 76);
}

TEST(TextLayout, OneLineTextWithoutScaleFactorTruncatesAtTheLimit) {
  const auto root = lay(Text("abcdefghij").lineLimit(1), 30, 100);
  EXPECT_TRUE(root.text->truncated);
  EXPECT_EQ(root.text->lineCount, 1);
  EXPECT_DOUBLE_EQ(root.text->request.scale, 1);
  EXPECT_DOUBLE_EQ(root.frame.width, 26);
}

TEST(TextLayout, WrapsAndCentresMultilineText) {
  const auto root = lay(Text("aaa bbb ccc").multilineTextAlignment(TextAlignment::center), 50, 100);
  EXPECT_EQ(root.text->lineCount, 2);
  EXPECT_FALSE(root.text->truncated);
  EXPECT_DOUBLE_EQ(root.frame.width, 7 * bodyAdvance);
  EXPECT_DOUBLE_EQ(root.frame.height, 32);
  EXPECT_EQ(root.text->request.alignment, TextAlignment::center);
  EXPECT_DOUBLE_EQ(root.frame.x, (50 - 45.5) / 2);
}

TEST(TextLayout, WrappedTextShrinksToFitTheHeightBeforeTruncating) {
  // Caption: 5 pt per character, 13 pt lines; two lines need 26 points.
  const View note = Text("aaaa bbbb cccc dddd").font(Font::caption).minimumScaleFactor(0.7);
  const auto squeezed = lay(note.frame({.width = 50, .height = 20}), 100, 100);
  const auto& text = at(squeezed, {0});
  EXPECT_FALSE(text.text->truncated);
  EXPECT_EQ(text.text->lineCount, 2);
  EXPECT_GE(text.text->request.scale, 0.7);
  EXPECT_LE(text.text->request.scale, 20.0 / 26);
  EXPECT_LE(text.frame.height, 20);

  // Not even 70 % fits one line into 8 points: one line, truncated.
  const auto tiny = lay(note.frame({.width = 50, .height = 8}), 100, 100);
  EXPECT_TRUE(at(tiny, {0}).text->truncated);
  EXPECT_EQ(at(tiny, {0}).text->lineCount, 1);
}

TEST(GroupLayout, HoldsTheChosenAlternative) {
  for (const bool first : {true, false}) {
    const auto root = lay(Group(first ? Text("first") : Text("second")), 200, 100);
    EXPECT_EQ(root.type, "Group");
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].text->request.text, first ? "first" : "second");
    EXPECT_EQ(root.frame, root.children[0].frame);
  }
}

TEST(GroupLayout, ChildrenOfAGroupInAStackAreStackedOneByOne) {
  const auto root = lay(VStack({.spacing = 0}, {Group({Text("a"), Text("b")}), Text("c")}), 100, 100);
  const auto& group = at(root, {0});
  EXPECT_DOUBLE_EQ(at(group, {1}).frame.y - at(group, {0}).frame.y, 16);
  EXPECT_DOUBLE_EQ(at(root, {1}).frame.y - at(group, {0}).frame.y, 32);
  EXPECT_DOUBLE_EQ(group.frame.height, 32);
}

TEST(LayoutPriority, HigherPriorityIsServedFirst) {
  const auto root = lay(HStack({.spacing = 0}, {Text("aaaaaaaaaa").lineLimit(1),
                                                Text("bbbbbbbbbb").lineLimit(1).layoutPriority(1)}),
                        100, 20);
  EXPECT_FALSE(at(root, {1}).text->truncated);
  EXPECT_TRUE(at(root, {0}).text->truncated);
}

TEST(PictureLayout, ScaledToFitKeepsTheAspectRatioInsideItsFrame) {
  Bitmap wide{300, 100, std::make_shared<const std::vector<std::uint32_t>>(300 * 100, 0xff0000ffu)};
  const auto root =
      lay(Image(wide).resizable().scaledToFit().frame({.maxWidth = 150, .maxHeight = 104}), 364, 170);
  EXPECT_DOUBLE_EQ(root.frame.width, 150);
  EXPECT_DOUBLE_EQ(root.frame.height, 104);
  EXPECT_DOUBLE_EQ(at(root, {0}).frame.width, 150);
  EXPECT_DOUBLE_EQ(at(root, {0}).frame.height, 50);
  Bitmap tall{100, 400, std::make_shared<const std::vector<std::uint32_t>>(100 * 400, 0xff0000ffu)};
  const auto narrow =
      lay(Image(tall).resizable().scaledToFit().frame({.maxWidth = 150, .maxHeight = 104}), 364, 170);
  EXPECT_DOUBLE_EQ(at(narrow, {0}).frame.height, 104);
  EXPECT_DOUBLE_EQ(at(narrow, {0}).frame.width, 26);
  // Not resizable: drawn at its pixel size in points.
  EXPECT_DOUBLE_EQ(lay(Image(tall), 50, 50).frame.height, 400);
}

TEST(SymbolLayout, KnownSymbolsAreSizedByTheFontAndUnknownOnesAreEmpty) {
  const auto known = lay(Image({.systemName = "bolt.fill"}).font(Font::caption), 100, 100);
  ASSERT_TRUE(known.symbol);
  EXPECT_TRUE(known.symbol->glyph);
  EXPECT_DOUBLE_EQ(known.frame.width, 12);
  const auto title = lay(Image({.systemName = "bolt.fill"}).font(Font::title), 100, 100);
  EXPECT_DOUBLE_EQ(title.frame.width, 22 * 1.2);
  const auto unknown = lay(Image({.systemName = "car.side.fill"}), 100, 100);
  ASSERT_TRUE(unknown.symbol);
  EXPECT_FALSE(unknown.symbol->glyph);
  EXPECT_DOUBLE_EQ(unknown.frame.width, 0);
}

TEST(LabelLayout, StyleChoosesWhatIsShown) {
  const View label = Label("Charging", {.systemName = "bolt.fill"}).font(Font::caption);
  const auto both = lay(label.labelStyle(LabelStyle::titleAndIcon), 200, 50);
  ASSERT_EQ(both.children.size(), 2u);
  EXPECT_TRUE(both.children[0].symbol);
  EXPECT_TRUE(both.children[1].text);
  EXPECT_GT(both.children[1].frame.x, both.children[0].frame.x + both.children[0].frame.width);
  EXPECT_EQ(lay(label.labelStyle(LabelStyle::iconOnly), 200, 50).children.size(), 1u);
  EXPECT_TRUE(lay(label.labelStyle(LabelStyle::titleOnly), 200, 50).children.at(0).text);
}

}  // namespace
}  // namespace kelvo::ui
