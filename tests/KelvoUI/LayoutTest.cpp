// The layout rules with the fixed-advance measurer: body text is 6.5 points a
// character on 16-point lines (baseline 12.8), caption 5 on 13, title 11 on 26.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

using testing::at;
using testing::lay;
using testing::symbolOf;
using testing::textOf;

View row(std::vector<View> children) { return HStack({.spacing = 0}, std::move(children)); }
View column(std::vector<View> children) { return VStack({.spacing = 0}, std::move(children)); }
View limited(const char* text) { return Text(text).lineLimit(1); }
GridItem leading(GridItem item) {
  item.alignment = Alignment::leading;
  return item;
}

struct Placed {
  std::vector<size_t> path;  // child indices from the root
  Rect frame;
};

// Each view laid out in a box at the origin; the root's child count, then frames.
TEST(Layout, PlacesEveryKindOfNodeByItsRules) {
  const std::optional<View> missing;
  const View text = Text("ab"), twoByTwo = Text("aaaa bbbb");
  const auto wide = [&](Alignment a) { return text.frame({.maxWidth = infinity, .alignment = a}); };
  const auto full = [&](Alignment a) {
    return text.frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = a});
  };
  const Bitmap tall{100, 400, std::make_shared<const std::vector<std::uint32_t>>(40000, 0xff0000ffu)};
  const Rect centred{93.5, 42, 13, 16};  // "ab" in the middle of 200 x 100
  const struct {
    const char* rule;
    View view;
    Size box;
    size_t children;
    std::vector<Placed> placed;
  } cases[] = {
      // clang-format off
      {"spacers share what the texts leave", row({Text("abcd"), Spacer(), Text("ab")}), {100, 100}, 3, {{{0}, {0, 42, 26, 16}}, {{1}, {26, 50, 61, 0}}, {{2}, {87, 42, 13, 16}}}},
      {"equally", row({Spacer(), Text("ab"), Spacer()}), {100, 100}, 3, {{{0}, {0, 50, 43.5, 0}}, {{1}, {43.5, 42, 13, 16}}, {{2}, {56.5, 50, 43.5, 0}}}},
      {"down a column too", column({Text("a"), Spacer(4), Text("b")}), {100, 100}, 3, {{{0}, {46.75, 0, 6.5, 16}}, {{1}, {50, 16, 0, 68}}, {{2}, {46.75, 84, 6.5, 16}}}},
      {"a spacer keeps its minimum", row({limited("aaaaaaaaaa"), Spacer(20)}), {70, 20}, 2, {{{0}, {0, 2, 45.5, 16}}, {{1}, {45.5, 10, 24.5, 0}}}},
      {"the default one 8 points", row({limited("aaaaaaaaaaaaaaaa"), Spacer()}), {100, 20}, 2, {{{0}, {0, 2, 91, 16}}, {{1}, {91, 10, 9, 0}}}},
      {"a negative spacer minimum is none", row({Capsule(), Spacer(-5)}), {100, 20}, 2, {{{0}, {0, 0, 100, 20}}, {{1}, {100, 10, 0, 0}}}},
      {"and so is NaN", row({Capsule(), Spacer(NAN)}), {100, 20}, 2, {{{0}, {0, 0, 100, 20}}, {{1}, {100, 10, 0, 0}}}},
      {"default spacing", HStack({Text("ab"), Text("cd")}), {100, 100}, 2, {{{0}, {33, 42, 13, 16}}, {{1}, {54, 42, 13, 16}}}},
      {"empty and missing children take neither room nor spacing", VStack({Text("a"), View(), missing, EmptyView(), Text("b")}), {100, 100}, 2, {{{0}, {46.75, 30, 6.5, 16}}, {{1}, {46.75, 54, 6.5, 16}}}},
      {"a group's children stack one by one", column({Group({Text("a"), Text("b")}), Text("c")}), {100, 100}, 2, {{{0}, {46.75, 26, 6.5, 32}}, {{0, 1}, {46.75, 42, 6.5, 16}}, {{1}, {46.75, 58, 6.5, 16}}}},
      {"the least flexible is offered its share first", row({limited("aaaaaaaaaaaaaaaaaaaa"), Text("bbbbbb")}), {100, 20}, 2, {{{0}, {1.25, 2, 58.5, 16}}, {{1}, {59.75, 2, 39, 16}}}},
      {"higher priority first", row({limited("aaaaaaaaaa"), limited("bbbbbbbbbb").layoutPriority(1)}), {100, 20}, 2, {{{0}, {1.25, 2, 32.5, 16}}, {{1}, {33.75, 2, 65, 16}}}},
      {"each priority in turn", row({limited("aaaa"), limited("bbbb").layoutPriority(-1), limited("cccc").layoutPriority(1)}), {60, 20}, 3, {{{0}, {0.75, 2, 26, 16}}, {{1}, {26.75, 2, 6.5, 16}}, {{2}, {33.25, 2, 26, 16}}}},
      {"a column aligns leading", VStack({.alignment = HorizontalAlignment::leading}, {Text("abcd"), Text("ab")}), {100, 100}, 2, {{{0}, {37, 30, 26, 16}}, {{1}, {37, 54, 13, 16}}}},
      {"centre", VStack({Text("abcd"), Text("ab")}), {100, 100}, 2, {{{1}, {43.5, 54, 13, 16}}}},
      {"or trailing", VStack({.alignment = HorizontalAlignment::trailing}, {Text("abcd"), Text("ab")}), {100, 100}, 2, {{{1}, {50, 54, 13, 16}}}},
      {"a row to the bottom", HStack({.alignment = VerticalAlignment::bottom, .spacing = 0}, {Text("a"), Text("b").font(Font::title)}), {100, 100}, 2, {{{0}, {41.25, 47, 6.5, 16}}, {{1}, {47.75, 37, 11, 26}}}},
      {"first baselines, a nested stack's from its first text", HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 0}, {VStack({.spacing = 1}, {Text("T").font(Font::headline), Text("r").font(Font::caption2)}), Text("x").font(Font::caption)}), {100, 100}, 2, {{{0}, {44.25, 35, 6.5, 30}}, {{0, 1}, {45, 52, 5, 13}}, {{1}, {50.75, 37.4, 5, 13}}}},
      {"last baselines", HStack({.alignment = VerticalAlignment::lastTextBaseline, .spacing = 0}, {Text("a\nb"), Text("c")}), {100, 100}, 2, {{{0}, {43.5, 34, 6.5, 32}}, {{1}, {50, 50, 6.5, 16}}}},
      {"a ZStack aligns each child in the largest", ZStack({.alignment = Alignment::bottomTrailing}, {Rectangle().frame({.width = 40, .height = 30}), text}), {100, 100}, 2, {{{0}, {30, 35, 40, 30}}, {{1}, {57, 49, 13, 16}}}},
      {"a frame aligns leading", wide(Alignment::leading), {200, 100}, 1, {{{}, {0, 42, 200, 16}}, {{0}, {0, 42, 13, 16}}}},
      {"or trailing", wide(Alignment::trailing), {200, 100}, 1, {{{0}, {187, 42, 13, 16}}}},
      {"top leading", full(Alignment::topLeading), {200, 100}, 1, {{{}, {0, 0, 200, 100}}, {{0}, {0, 0, 13, 16}}}},
      {"centred", full(Alignment::center), {200, 100}, 1, {{{0}, centred}}},
      {"a baseline at the top", full({HorizontalAlignment::leading, VerticalAlignment::firstTextBaseline}), {200, 100}, 1, {{{0}, {0, 0, 13, 16}}}},
      {"a minimum width", text.frame({.minWidth = 50}), {200, 100}, 1, {{{}, {75, 42, 50, 16}}, {{0}, centred}}},
      {"a maximum below the minimum is raised to it", text.frame({.minWidth = 50, .maxWidth = 20}), {200, 100}, 1, {{{}, {75, 42, 50, 16}}, {{0}, centred}}},
      {"a minimum height", text.frame({.minHeight = 40}), {200, 100}, 1, {{{}, {93.5, 30, 13, 40}}, {{0}, centred}}},
      {"a maximum below the child", text.frame({.maxHeight = 10}), {200, 100}, 1, {{{}, {93.5, 45, 13, 10}}, {{0}, centred}}},
      {"a maximum makes text wrap", twoByTwo.frame({.maxWidth = 30}), {200, 100}, 1, {{{}, {85, 34, 30, 32}}, {{0}, {87, 34, 26, 32}}}},
      {"a fixed width", text.frame({.width = 100}), {200, 100}, 1, {{{}, {50, 42, 100, 16}}, {{0}, centred}}},
      {"negative lengths are 0, NaN none", text.frame({.width = -5, .maxHeight = NAN}), {200, 100}, 1, {{{}, {100, 34, 0, 32}}, {{0}, {100, 34, 0, 32}}}},
      {"a shape takes its frame", Capsule().frame({.width = 40, .height = 6}), {200, 100}, 1, {{{0}, {80, 47, 40, 6}}}},
      {"default padding", text.padding(), {200, 100}, 1, {{{}, {77.5, 26, 45, 48}}, {{0}, centred}}},
      {"padding on some edges", text.padding(Edges::vertical, 4), {200, 100}, 1, {{{}, {93.5, 38, 13, 24}}, {{0}, centred}}},
      {"padding comes out of the proposal", Capsule().padding(10), {200, 100}, 1, {{{}, {0, 0, 200, 100}}, {{0}, {10, 10, 180, 80}}}},
      {"a picture not resizable keeps its pixel size", Image(tall), {50, 50}, 0, {{{}, {-25, -175, 100, 400}}}},
      {"two flexible columns share the width less spacing", LazyVGrid({.columns = {GridItem{}, GridItem{}}}, {Text("a"), Text("b"), Text("c")}), {200, 100}, 3, {{{}, {0, 30, 200, 40}}, {{0}, {44.75, 30, 6.5, 16}}, {{1}, {148.75, 30, 6.5, 16}}, {{2}, {44.75, 54, 6.5, 16}}}},
      {"fixed columns first", LazyVGrid({.columns = {leading({.size = GridItemSize::fixed(50)}), leading({})}}, {Text("a"), Text("b")}), {200, 100}, 2, {{{0}, {0, 42, 6.5, 16}}, {{1}, {58, 42, 6.5, 16}}}},
      {"then flexible ones, narrowest maximum first", LazyVGrid({.columns = {leading({}), leading(GridItem::flexible(10, 40))}}, {Text("a"), Text("b")}), {200, 100}, 2, {{{1}, {160, 42, 6.5, 16}}}},
      {"a column's own spacing", LazyVGrid({.columns = {leading({.spacing = 20}), leading({})}}, {Text("a"), Text("b")}), {200, 100}, 2, {{{1}, {110, 42, 6.5, 16}}}},
      {"cells align in their row", LazyVGrid({.columns = {GridItem{.alignment = Alignment::bottomLeading}, GridItem{.alignment = Alignment::topLeading}}}, {Text("a"), Text("b\nc")}), {200, 100}, 2, {{{0}, {0, 50, 6.5, 16}}, {{1}, {104, 34, 6.5, 32}}}},
      {"no columns is one flexible column", LazyVGrid({}, {Text("a"), Text("b")}), {200, 100}, 2, {{{0}, {96.75, 30, 6.5, 16}}, {{1}, {96.75, 54, 6.5, 16}}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    const LaidOutNode root = lay(c.view, c.box.width, c.box.height);
    EXPECT_EQ(root.children.size(), c.children) << c.rule;
    for (const auto& [path, frame] : c.placed) {
      const LaidOutNode* node = &root;
      for (size_t i : path) node = i < node->children.size() ? &node->children[i] : nullptr;
      ASSERT_NE(node, nullptr) << c.rule;
      EXPECT_EQ(node->frame, frame) << c.rule << " at depth " << path.size();
    }
  }
}

// The first text of a laid-out tree, depth first.
const TextDrawing* firstText(const LaidOutNode& node) {
  if (const TextDrawing* t = textOf(node)) return t;
  for (const auto& child : node.children) {
    if (const TextDrawing* t = firstText(child)) return t;
  }
  return nullptr;
}

TEST(TextLayout, WrapsShrinksToTheLargestScaleThatFitsThenTruncatesAtTheLineLimitOrHeight) {
  const View three = Text("aaaa bbbb cccc"), note = Text("aaaa bbbb cccc dddd").font(Font::caption);
  const struct {
    View view;
    Size box;
    int lines;
    bool truncated;
    double scale;  // to within 0.005
  } cases[] = {
      // clang-format off
      {three, {30, 100}, 3, false, 1}, {three.lineLimit(3), {30, 100}, 3, false, 1}, {three.lineLimit(0) /* none */, {30, 100}, 3, false, 1},
      {three.lineLimit(2), {30, 100}, 2, true, 1}, {three.lineLimit(2), {30, 20}, 1, true, 1} /* the height holds one */, {three, {30, 40}, 2, true, 1},
      // 38 pt: "100%" wants 76 points of the 60; a scale factor above 1 or NaN shrinks nothing.
      {Text("100%").font(Font::system(38)).minimumScaleFactor(0.6).lineLimit(1), {60, 100}, 1, false, 60.0 / 76},
      {limited("abcdefghij").minimumScaleFactor(3), {30, 100}, 1, true, 1}, {limited("abcdefghij").minimumScaleFactor(NAN), {30, 100}, 1, true, 1},
      // Two caption lines need 26 points: 20 of them fit at 20/26; not even the 70 % minimum fits 8 points.
      {note.minimumScaleFactor(0.7).frame({.width = 50, .height = 20}), {100, 100}, 2, false, 20.0 / 26},
      {note.minimumScaleFactor(0.7).frame({.width = 50, .height = 8}), {100, 100}, 1, true, 0.7},
      // clang-format on
  };
  for (size_t n = 0; n < std::size(cases); ++n) {
    const LaidOutNode root = lay(cases[n].view, cases[n].box.width, cases[n].box.height);
    const TextDrawing* t = firstText(root);
    ASSERT_NE(t, nullptr) << n;
    EXPECT_EQ(std::tuple(t->lineCount, t->truncated), std::tuple(cases[n].lines, cases[n].truncated)) << n;
    EXPECT_NEAR(t->request.scale, cases[n].scale, 0.005) << n;
  }
}

TEST(Layout, IdealSizesForAnUnspecifiedProposal) {
  const View abcd = Text("abcd");
  const std::pair<View, Size> cases[] = {
      // clang-format off
      {abcd, {26, 16}}, {abcd.frame({.idealWidth = 80, .maxWidth = infinity}), {80, 16}}, {abcd.frame({.minWidth = 40}), {40, 16}},
      {abcd.frame({.maxWidth = 10}), {10, 16}}, {abcd.frame({.minWidth = 10, .idealWidth = 80}), {26, 16}},
      {HStack({Text("a"), Spacer(), Text("b")}), {37, 16}}, {Spacer(infinity), {0, 0}},
      {Capsule(), {10, 10}}, {GeometryReader([](const GeometryProxy&) { return Text("a"); }), {10, 10}},
      // Without a width to share, each column is as wide as its widest cell.
      {LazyVGrid({.columns = {GridItem{}, GridItem{}}}, {Text("abcd"), Text("a"), Text("ab"), Text("abc")}), {53.5, 40}},
      // clang-format on
  };
  FixedAdvanceTextMeasurer measurer;
  for (size_t n = 0; n < std::size(cases); ++n)
    EXPECT_EQ(sizeThatFits(cases[n].first, ProposedSize::unspecified(), {}, measurer), cases[n].second) << n;
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
