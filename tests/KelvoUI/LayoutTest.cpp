#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "LayoutTestSupport.h"

// Body text with the fixed-advance measurer: 6.5 pt per character, 16 pt lines.
namespace kelvo::ui {
namespace {

using testing::at;
using testing::lay;
using testing::symbolOf;
using testing::textOf;

// A row without spacing, so the children's own widths add up.
View row(std::vector<View> children) { return HStack({.spacing = 0}, std::move(children)); }

TEST(StackLayout, DistributesTheLengthAlongItsAxis) {
  enum class Axis { x, y };
  struct Case {
    View stack;
    Axis axis;
    std::vector<std::pair<double, double>> spans;  // offset from the stack's origin, length
  };
  const std::optional<View> missing;
  const Case cases[] = {
      // Spacers take what the texts leave, shared equally, at least their minimum.
      {row({Text("abcd"), Spacer(), Text("ab")}), Axis::x, {{0, 26}, {26, 61}, {87, 13}}},
      {row({Spacer(), Text("ab"), Spacer()}), Axis::x, {{0, 43.5}, {43.5, 13}, {56.5, 43.5}}},
      {VStack({.spacing = 0}, {Text("a"), Spacer(4), Text("b")}), Axis::y, {{0, 16}, {16, 68}, {84, 16}}},
      // Default spacing; empty and missing children take neither room nor spacing.
      {HStack({Text("ab"), Text("cd")}), Axis::x, {{0, 13}, {21, 13}}},
      {VStack({Text("a"), View(), missing, EmptyView(), Text("b")}), Axis::y, {{0, 16}, {24, 16}}},
      // A group's children are stacked one by one.
      {VStack({.spacing = 0}, {Group({Text("a"), Text("b")}), Text("c")}), Axis::y, {{0, 32}, {32, 16}}},
  };
  for (size_t n = 0; n < std::size(cases); ++n) {
    SCOPED_TRACE("case " + std::to_string(n));
    const auto root = lay(cases[n].stack, 100, 100);
    ASSERT_EQ(root.children.size(), cases[n].spans.size());
    for (size_t i = 0; i < root.children.size(); ++i) {
      const Rect& f = root.children[i].frame;
      const bool x = cases[n].axis == Axis::x;
      EXPECT_DOUBLE_EQ(x ? f.x - root.frame.x : f.y - root.frame.y, cases[n].spans[i].first) << i;
      EXPECT_DOUBLE_EQ(x ? f.width : f.height, cases[n].spans[i].second) << i;
    }
  }
}

TEST(StackLayout, TextGivesWayToSpacerMinimumsShorterTextsAndHigherPriority) {
  const auto spaced = lay(row({Text("aaaaaaaaaa").lineLimit(1), Spacer(20)}), 70, 20);
  EXPECT_TRUE(textOf(at(spaced, {0}))->truncated);
  EXPECT_GE(at(spaced, {1}).frame.width, 20);
  EXPECT_DOUBLE_EQ(at(spaced, {0}).frame.width + at(spaced, {1}).frame.width, 70);
  // The least flexible child is offered space first: equal halves would leave the long text 50.
  const auto shared = lay(row({Text("aaaaaaaaaaaaaaaaaaaa").lineLimit(1), Text("bbbbbb")}), 100, 20);
  EXPECT_DOUBLE_EQ(at(shared, {1}).frame.width, 39);
  EXPECT_GT(at(shared, {0}).frame.width, 50);
  EXPECT_TRUE(textOf(at(shared, {0}))->truncated);
  const auto ranked =
      lay(row({Text("aaaaaaaaaa").lineLimit(1), Text("bbbbbbbbbb").lineLimit(1).layoutPriority(1)}), 100, 20);
  EXPECT_FALSE(textOf(at(ranked, {1}))->truncated);
  EXPECT_TRUE(textOf(at(ranked, {0}))->truncated);
}

TEST(StackLayout, AlignsAcrossItsAxisIncludingFirstTextBaselines) {
  for (const auto& [alignment, offset] : {std::pair{HorizontalAlignment::leading, 0.0},
                                          {HorizontalAlignment::center, 6.5},
                                          {HorizontalAlignment::trailing, 13.0}}) {
    const auto root = lay(VStack({.alignment = alignment}, {Text("abcd"), Text("ab")}), 100, 100);
    EXPECT_DOUBLE_EQ(at(root, {1}).frame.x - at(root, {0}).frame.x, offset);
  }
  // A nested stack's baseline is that of its first text (headline: 16 pt line).
  const auto nested =
      lay(HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 0},
                 {VStack({.spacing = 1}, {Text("T").font(Font::headline), Text("r").font(Font::caption2)}),
                  Text("x").font(Font::caption)}),
          100, 100);
  EXPECT_NEAR(at(nested, {1}).frame.y - at(nested, {0, 0}).frame.y, 0.8 * 16 - 0.8 * 13, 1e-9);
}

TEST(FrameLayout, FramesPaddingAndPicturesPlaceTheirChild) {
  const View text = Text("ab");
  const auto wide = [&](Alignment a) { return text.frame({.maxWidth = infinity, .alignment = a}); };
  const auto full = [&](Alignment a) {
    return text.frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = a});
  };
  const Rect centred{93.5, 42, 13, 16};
  const std::tuple<View, Rect, Rect> cases[] = {
      {wide(Alignment::leading), {0, 42, 200, 16}, {0, 42, 13, 16}},
      {wide(Alignment::trailing), {0, 42, 200, 16}, {187, 42, 13, 16}},
      {full(Alignment::topLeading), {0, 0, 200, 100}, {0, 0, 13, 16}},
      {full(Alignment::center), {0, 0, 200, 100}, centred},
      {full({HorizontalAlignment::leading, VerticalAlignment::firstTextBaseline}),
       {0, 0, 200, 100},
       {0, 0, 13, 16}},
      {text.frame({.minWidth = 50}), {75, 42, 50, 16}, centred},
      {text.frame({.width = 100}), {50, 42, 100, 16}, centred},
      {Capsule().frame({.width = 40, .height = 6}), {80, 47, 40, 6}, {80, 47, 40, 6}},
      {text.padding(), {77.5, 26, 45, 48}, centred},
      {text.padding(Edges::vertical, 4), {93.5, 38, 13, 24}, centred},
      {Capsule().padding(10), {0, 0, 200, 100}, {10, 10, 180, 80}},  // the padding comes out of the proposal
  };
  for (size_t n = 0; n < std::size(cases); ++n) {
    const auto& [view, outer, child] = cases[n];
    const auto root = lay(view, 200, 100);
    EXPECT_EQ(root.frame, outer) << "case " << n;
    EXPECT_EQ(at(root, {0}).frame, child) << "case " << n;
  }
  // A maximum narrower than the text makes it wrap; a picture that is not resizable keeps its pixel size.
  EXPECT_EQ(textOf(at(lay(Text("aaaa bbbb").frame({.maxWidth = 30}), 200, 100), {0}))->lineCount, 2);
  const Bitmap tall{100, 400, std::make_shared<const std::vector<std::uint32_t>>(40000, 0xff0000ffu)};
  EXPECT_DOUBLE_EQ(lay(Image(tall), 50, 50).frame.height, 400);
}

TEST(TextLayout, ShrinksToTheLargestScaleThatFitsThenTruncates) {
  // 38 pt: "100%" wants 76 points; in 60 one line shrinks to the largest scale that fits.
  const auto percent = lay(Text("100%").font(Font::system(38)).minimumScaleFactor(0.6).lineLimit(1), 60, 100);
  EXPECT_NEAR(textOf(percent)->request.scale, 60.0 / 76, 0.01);
  // Caption: 5 pt per character, 13 pt lines; two lines need 26 points.
  const View note = Text("aaaa bbbb cccc dddd").font(Font::caption).minimumScaleFactor(0.7);
  const auto squeezed = lay(note.frame({.width = 50, .height = 20}), 100, 100).children.at(0);
  EXPECT_FALSE(textOf(squeezed)->truncated);
  EXPECT_GE(textOf(squeezed)->request.scale, 0.7);
  EXPECT_LE(squeezed.frame.height, 20);
  // Not even 70 % fits one line into 8 points: one line, truncated.
  const auto tiny = lay(note.frame({.width = 50, .height = 8}), 100, 100).children.at(0);
  EXPECT_TRUE(textOf(tiny)->truncated);
  EXPECT_EQ(textOf(tiny)->lineCount, 1);
}

TEST(SymbolLayout, SizedByTheFontUnknownOnesEmptyAndLabelsFollowTheirStyle) {
  EXPECT_DOUBLE_EQ(lay(Image({.systemName = "bolt.fill"}).font(Font::caption), 100, 100).frame.width, 12);
  const auto unknown = lay(Image({.systemName = "car.side.fill"}), 100, 100);
  EXPECT_FALSE(symbolOf(unknown)->glyph);
  EXPECT_DOUBLE_EQ(unknown.frame.width, 0);
  const View label = Label("Charging", {.systemName = "bolt.fill"}).font(Font::caption);
  const auto both = lay(label.labelStyle(LabelStyle::titleAndIcon), 200, 50);
  ASSERT_EQ(both.children.size(), 2u);
  EXPECT_TRUE(symbolOf(both.children[0]));
  EXPECT_GT(both.children[1].frame.x, both.children[0].frame.x + both.children[0].frame.width);
  EXPECT_EQ(lay(label.labelStyle(LabelStyle::iconOnly), 200, 50).children.size(), 1u);
  EXPECT_TRUE(textOf(lay(label.labelStyle(LabelStyle::titleOnly), 200, 50).children.at(0)));
}

// Every node of `rtl` is the node of `ltr` reflected across a box `width` wide: same size and height.
void expectMirrored(const LaidOutNode& ltr, const LaidOutNode& rtl, double width, const std::string& path) {
  EXPECT_NEAR(rtl.frame.x, width - ltr.frame.x - ltr.frame.width, 0.02) << path;
  EXPECT_EQ(std::tuple(rtl.frame.y, rtl.frame.width, rtl.frame.height),
            std::tuple(ltr.frame.y, ltr.frame.width, ltr.frame.height))
      << path;
  ASSERT_EQ(ltr.children.size(), rtl.children.size()) << path;
  for (size_t i = 0; i < ltr.children.size(); ++i)
    expectMirrored(ltr.children[i], rtl.children[i], width, path + "/" + std::to_string(i));
}

TEST(DirectionLayout, RightToLeftIsTheLeftToRightLayoutMirrored) {
  // Uneven padding and a trailing frame, so that nothing is symmetric by luck.
  const View content =
      VStack({.alignment = HorizontalAlignment::leading},
             {HStack({.alignment = VerticalAlignment::firstTextBaseline},
                     {Text("Panel").font(Font::headline), Spacer(8),
                      Label("Charging", {.systemName = "bolt.fill"}).labelStyle(LabelStyle::titleAndIcon)}),
              GeometryReader([](const GeometryProxy& geo) {
                return ZStack({.alignment = Alignment::leading},
                              {Capsule(), Capsule().frame({.width = geo.size.width * 0.25})});
              }).frame({.height = 6}),
              LazyVGrid({.columns = {GridItem{.alignment = Alignment::leading}, GridItem{}}},
                        {Text("Full in"), Text("Power"), Text("Charger")})})
          .padding(Edges::leading, 12)
          .frame({.maxWidth = 300, .alignment = Alignment::trailing});
  Environment env;
  const auto ltr = lay(content, 364, 382, env);
  env.layoutDirection = LayoutDirection::rightToLeft;
  expectMirrored(ltr, lay(content, 364, 382, env), 364, "");
  // The script decides, not the language: Azerbaijani in Arabic script runs right to left.
  for (const char* language : {"ar_EG", "he", "fa", "az_Arab"})
    EXPECT_EQ(layoutDirectionFor(icu::Locale(language)), LayoutDirection::rightToLeft) << language;
  for (const char* language : {"en", "de_DE", "ja", "az", ""})
    EXPECT_EQ(layoutDirectionFor(icu::Locale(language)), LayoutDirection::leftToRight) << language;
}

}  // namespace
}  // namespace kelvo::ui
