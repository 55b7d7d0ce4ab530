// Real renders decoded again: Pango text, Cairo shapes, both appearances, the
// other formats, and the PNG encoder against Cairo's own writer.

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "KelvoUI/PngImage.h"
#include "KelvoUI/WidgetRenderer.h"
#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

using testing::Png;

struct Pixel {
  int r = 0, g = 0, b = 0, a = 0;
};

// Channels are premultiplied, so opaque pixels read as their colour.
Pixel pixel(const Png& png, int x, int y) {
  const std::uint32_t v = png.at(x, y);
  return {int(v >> 16 & 0xff), int(v >> 8 & 0xff), int(v & 0xff), int(v >> 24)};
}

bool near(const Pixel& p, const Pixel& expected, int tolerance = 1) {
  return p.a == expected.a && std::abs(p.r - expected.r) <= tolerance &&
         std::abs(p.g - expected.g) <= tolerance && std::abs(p.b - expected.b) <= tolerance;
}

Png decoded(const Result<std::string>& render) {
  EXPECT_TRUE(render.ok()) << render.error().message;
  return Png(render.ok() ? *render : "");
}

TEST(Render, ShortLinesAlignToTheLeadingEdgeOfTheLayoutWhateverTheirScript) {
  enum Side { left, right };
  for (const auto& [text, direction, side] : std::vector<std::tuple<const char*, LayoutDirection, Side>>{
           {"טעינה מהירה\nא", LayoutDirection::leftToRight, left},
           {"Charging station\nA", LayoutDirection::rightToLeft, right}}) {
    Environment env;
    env.layoutDirection = direction;
    const auto layout = layoutWidget(Text(text).font(Font::body), env);
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    const Rect frame = layout->root.frame;
    ASSERT_EQ(testing::textOf(layout->root)->lineCount, 2);
    const Png image = decoded(renderLayout(*layout, OutputFormat::png));
    // The ink of the short second line, at 2 pixels per point.
    int first = image.width, last = -1;
    for (int y = int(2 * (frame.y + 17)); y < int(2 * (frame.y + 31)); ++y)
      for (int x = 0; x < image.width; ++x)
        if (pixel(image, x, y).a == 255 && pixel(image, x, y).r < 120)
          first = std::min(first, x), last = std::max(last, x);
    ASSERT_GE(last, 0) << text;
    EXPECT_EQ(first < 2 * frame.x + 6, side == left) << text << " " << toString(direction);
    EXPECT_EQ(last > 2 * (frame.x + frame.width) - 6, side == right) << text << " " << toString(direction);
  }
}

TEST(Render, AppearanceColoursAndTheContainerBackgroundOnlyFromTheModernHostInsideItsMargins) {
  const View content = Capsule()
                           .fill(Color::green)
                           .frame({.maxWidth = infinity, .maxHeight = infinity})
                           .containerBackground(ShapeStyle::fill.tertiary);
  for (const auto& [appearance, green, margin] :
       {std::tuple{Appearance::light, Pixel{40, 205, 65, 255}, Pixel{234, 234, 234, 255}},
        {Appearance::dark, Pixel{50, 215, 75, 255}, Pixel{41, 41, 42, 255}}}) {
    Environment env;
    env.appearance = appearance;
    env.host.contentMargin = 16;
    const Png modern = decoded(renderWidget(content, env, OutputFormat::png));
    EXPECT_TRUE(near(pixel(modern, 20, 170), margin));  // 5 % black or white over the material
    EXPECT_TRUE(near(pixel(modern, 40, 170), green));
    EXPECT_EQ(pixel(modern, 1, 1).a, 0);  // outside the widget's rounded corner
    env.host.containerBackground = ContainerBackgroundSupport::unsupported;
    const auto layout = layoutWidget(content, env);
    ASSERT_TRUE(layout.ok());
    EXPECT_FALSE(layout->containerBackgroundDrawn);
    EXPECT_EQ(layout->contentRect, (Rect{0, 0, 170, 170}));
    EXPECT_TRUE(near(pixel(decoded(renderLayout(*layout, OutputFormat::png)), 4, 170), green));  // no margins
  }
}

TEST(Render, PicturesAndSymbolsAreDrawn) {
  const auto redBlue = std::make_shared<std::vector<std::uint32_t>>(std::vector{0xffff0000u, 0xff0000ffu});
  const View picture = Image(Bitmap{2, 1, redBlue}).resizable().frame({.width = 100, .height = 50});
  const Png pictured = decoded(renderWidget(picture, {}, OutputFormat::png));
  // Frame: 35...135 by 60...110 points; the two pixels are stretched across it.
  EXPECT_TRUE(near(pixel(pictured, 80, 170), {255, 0, 0, 255}, 60));
  EXPECT_TRUE(near(pixel(pictured, 260, 170), {0, 0, 255, 255}, 60));
  const View bolt = Image({.systemName = "bolt.fill"}).font(Font::title).foregroundStyle(Color::orange);
  const Png drawn = decoded(renderWidget(bolt, {}, OutputFormat::png));
  int orange = 0;
  for (int y = 0; y < drawn.height; ++y)
    for (int x = 0; x < drawn.width; ++x) orange += near(pixel(drawn, x, y), {255, 149, 0, 255}, 2);
  EXPECT_GT(orange, 100);
}

TEST(Render, EveryFormatDrawsTextThatIsNotCharactersAndVectorsCarryTheLink) {
  // What is not a character becomes U+FFFD in the text, the symbol's name,
  // the link and the dump (which throws on invalid UTF-8); its neighbours stay.
  const std::string hostile = "Caf\xc3 \xff a\uFFFEb \U0010FFFF";
  const View content =
      VStack({Text(hostile), Label(hostile, {.systemName = hostile})}).widgetURL("kelvo://" + hostile);
  for (const OutputFormatInfo& row : kOutputFormats) {
    const auto out = renderWidget(content, {}, row.format);
    ASSERT_TRUE(out.ok()) << out.error().message;
    EXPECT_FALSE(out->empty()) << row.name;
  }
  const auto layout = layoutWidget(content, {});
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(testing::textOf(layout->root.children.at(0))->request.text, "Caf\uFFFD \uFFFD a\uFFFDb \uFFFD");
  EXPECT_NO_THROW(dumpWidget(*layout).dump());
  const View open = Text("Open").widgetURL("kelvo://open?a=1&b='2'");
  EXPECT_NE(
      renderWidget(open, {}, OutputFormat::svg)->find("<a xlink:href=\"kelvo://open?a=1&amp;b=&#39;2&#39;\""),
      std::string::npos);
  EXPECT_NE(renderWidget(open, {}, OutputFormat::pdf)->find("/URI (kelvo://open?a=1&b='2')"),
            std::string::npos);
  EXPECT_EQ(renderWidget(Text("Open"), {}, OutputFormat::svg)->find("<a "), std::string::npos);
  // SVG's name for readers: the texts in reading order, hidden ones left out, escaped.
  const View named = VStack({Text("a<b"), Text("Hidden").accessibilityHidden(true), Text(hostile)});
  EXPECT_NE(renderWidget(named, {}, OutputFormat::svg)
                ->find(" role=\"img\">\n<title>a&lt;b, Caf\uFFFD \uFFFD a\uFFFDb \uFFFD</title>\n"
                       "<desc>a&lt;b\nCaf\uFFFD \uFFFD a\uFFFDb \uFFFD</desc>\n<defs>"),
            std::string::npos);
}

TEST(Render, ScaleSetsThePixelSizeAndMustBePositiveAndFamiliesAreFoundByTheirNames) {
  Environment large;
  large.widgetFamily = WidgetFamily::systemLarge;
  const Png three = decoded(renderWidget(Text("x"), large, OutputFormat::png, 3));
  EXPECT_EQ(std::pair(three.width, three.height), std::pair(364 * 3, 382 * 3));
  for (const double scale : {0.0, double(NAN), 1e6})
    EXPECT_FALSE(renderWidget(Text("x"), {}, OutputFormat::png, scale).ok()) << scale;
  for (const WidgetFamilyInfo& row : kWidgetFamilies) {
    EXPECT_EQ(parseFamily(row.name), row.family);
    EXPECT_EQ(parseFamily(row.systemName), row.family);
    EXPECT_EQ(parseFamily(row.systemName, SystemNames::refused), std::nullopt);
  }
  EXPECT_EQ(parseFamily("Small"), std::nullopt);
}

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// The PNG a render writes decodes to exactly the pixels Cairo's own writer
// gives for the same drawing painted by a caller onto its own canvas:
// translucent edges, text, both appearances, at a width in whole groups of
// four pixels and at one with three left over.
TEST(Render, PngDecodesToThePixelsOfPaintLayoutOnTheCallersCanvasWrittenByCairo) {
  const View content =
      VStack({Capsule().fill(Color::rgb(40, 205, 65, 0.4)).frame({.width = 100, .height = 20}),
              Text("Hello, 64 %").font(Font::title).foregroundStyle(ShapeStyle::secondary)});
  for (const auto& [appearance, scale, side] : {std::tuple{Appearance::light, 2.0, 340},
                                                {Appearance::dark, 2.0, 340},
                                                {Appearance::light, 1.5, 255}}) {
    Environment env;
    env.appearance = appearance;
    const auto layout = layoutWidget(content, env);
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    const Png ours = decoded(renderLayout(*layout, OutputFormat::png, scale));
    ASSERT_EQ(ours.pixels.size(), std::size_t(side) * std::size_t(side));
    // A red canvas 20 pixels larger than the widget, clear where the widget goes at (10, 6) points.
    const int canvas = side + 20, left = int(10 * scale), top = int(6 * scale);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas, canvas);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr, left, top, side, side);
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, 10, 6);
    EXPECT_FALSE(paintLayout(cr, *layout).has_value());
    double x = 0, y = 0;
    cairo_user_to_device(cr, &x, &y);
    EXPECT_EQ(x, left);  // the state is restored
    std::string cairos;
    EXPECT_EQ(cairo_surface_write_to_png_stream(surface, append, &cairos), CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    const Png painted(cairos);
    EXPECT_EQ(
        std::tuple(painted.at(5, 100), painted.at(canvas - 1, canvas - 1), painted.at(left + 2, top + 2)),
        std::tuple(0xffff0000u, 0xffff0000u, 0u));  // untouched; the rounded corner left as it was
    int differing = 0;
    for (int i = 0; i < side * side; ++i)
      differing += painted.at(left + i % side, top + i / side) != ours.pixels[std::size_t(i)];
    EXPECT_EQ(differing, 0);
  }
}

// Grey PNGs of each bit depth decode to the nearest grey of their levels,
// rows of a width that leaves part of the last byte unused included; what
// the writer cannot write is refused.
TEST(Render, GreyPngsKeepTheirLevelsAtEveryBitDepth) {
  for (const auto& [bits, width] : {std::pair{1, 13}, {2, 7}, {4, 5}, {8, 3}}) {
    const int maximum = (1 << bits) - 1, height = 9;
    std::vector<std::uint8_t> greys;
    for (int i = 0; i < width * height; ++i) greys.push_back(std::uint8_t(i * 37 % 256));
    const auto row = [&](int y) { return greys.data() + y * width; };
    const Png png = decoded(encodeGreyPng(width, height, bits, row));
    ASSERT_EQ(std::pair(png.width, png.height), std::pair(width, height)) << bits;
    for (int i = 0; i < width * height; ++i) {
      const std::uint32_t grey =
          std::lround(std::lround(greys[std::size_t(i)] * maximum / 255.0) * 255.0 / maximum);
      EXPECT_EQ(png.at(i % width, i / width), 0xff000000u | grey << 16 | grey << 8 | grey)
          << bits << " " << i;
    }
  }
  const std::vector<std::uint8_t> four(4, 0);
  const auto some = [&](int y) { return y < 1 ? four.data() : nullptr; };  // one row, then none
  for (const auto& [bits, width, height] : {std::tuple{3, 2, 1}, {1, 2, 2}, {1, 0, 4}})
    EXPECT_FALSE(encodeGreyPng(width, height, bits, some).ok()) << bits << " " << width << "x" << height;
}

struct Tile {
  static constexpr const char* name = "Tile";
  std::string id;
  View body() const { return Text(id).font(Font::caption).foregroundStyle(ShapeStyle::secondary); }
};

// Every key a node can carry: what modifiers mark, what it draws, how it arranges.
TEST(TreeDump, NamesWhatEachNodeMarksDrawsAndArranges) {
  const Bitmap pixel{2, 1, std::make_shared<const std::vector<std::uint32_t>>(2, 0xff0000ffu)};
  const View view =
      VStack({.alignment = HorizontalAlignment::leading, .spacing = 2},
             {HStack({Image({.systemName = "bolt.fill"}), Image({.systemName = "no.such"}), Spacer(3)})
                  .layoutPriority(1),
              LazyVGrid({.columns = {GridItem::flexible(20, 90), GridItem{.size = GridItemSize::fixed(30)}}},
                        {ForEach(std::vector<Tile>{{"a"}}, [](const Tile& t) { return t; })}),
              Capsule(RoundedCornerStyle::circular).fill(Color::orange),
              Image(pixel).resizable().scaledToFill().frame({.width = 8, .maxHeight = infinity}),
              Text(1e9, RelativeUnitsStyle::abbreviated)
                  .lineLimit(2)
                  .minimumScaleFactor(0.5)
                  .multilineTextAlignment(TextAlignment::center)
                  .padding(Edges::top, 3)})
          .accessibilityHidden(true)
          .widgetURL("kelvo://x")
          .containerBackground(ShapeStyle::fill.tertiary);
  Environment env;
  env.now = 1e9 + 60;
  FixedAdvanceTextMeasurer measurer;
  EXPECT_EQ(
      dumpTree(layoutView(view, {0, 0, 200, 120}, env, measurer)).dump(),
      R"j({"accessibilityHidden":true,"alignment":"leading","children":[{"alignment":"center",)j"
      R"j("children":[{"foreground":"primary","frame":{"height":15.6,"width":15.6,"x":0.0,"y":0.0},)j"
      R"j("glyph":{"font":"Material Icons","name":"flash_on"},"systemName":"bolt.fill","type":"Image"},)j"
      R"j({"foreground":"primary","frame":{"height":0.0,"width":0.0,"x":23.6,"y":7.8},"systemName":"no.such",)j"
      R"j("type":"Image","unknownSymbol":true},{"frame":{"height":0.0,"width":168.4,"x":31.6,"y":7.8},)j"
      R"j("minLength":3.0,"type":"Spacer"}],"frame":{"height":15.6,"width":200.0,"x":0.0,"y":0.0},)j"
      R"j("layoutPriority":1.0,"spacing":"default","type":"HStack"},)j"
      R"j({"children":[{"children":[{"firstBaseline":28.0,"font":{"design":"default","size":10.0,)j"
      R"j("style":"caption","weight":"regular"},"foreground":"secondary","frame":{"height":13.0,"width":5.0,)j"
      R"j("x":42.5,"y":17.6},"id":"a","lines":1,"scale":1.0,"text":"a","truncated":false,"type":"Text",)j"
      R"j("view":"Tile"}],"frame":{"height":13.0,"width":5.0,"x":42.5,"y":17.6},"type":"ForEach"}],)j"
      R"j("columns":[{"maximum":90.0,"minimum":20.0,"size":"flexible"},{"maximum":30.0,"minimum":30.0,)j"
      R"j("size":"fixed"}],"frame":{"height":13.0,"width":128.0,"x":0.0,"y":17.6},"spacing":"default",)j"
      R"j("type":"LazyVGrid"},{"cornerStyle":"circular","fill":"orange","frame":{"height":32.2,"width":200.0,)j"
      R"j("x":0.0,"y":32.6},"type":"Capsule"},{"alignment":"center/center","children":[{"contentMode":"fill",)j"
      R"j("drawnRect":{"height":32.2,"width":64.4,"x":-28.2,"y":66.8},"frame":{"height":32.2,"width":64.4,)j"
      R"j("x":-28.2,"y":66.8},"picture":{"height":1,"width":2},"resizable":true,"type":"Image"}],)j"
      R"j("frame":{"height":32.2,"width":8.0,"x":0.0,"y":66.8},"maxHeight":"infinity","type":"Frame","width":8.0},)j"
      R"j({"children":[{"alignment":"center","firstBaseline":116.8,"font":{"design":"default","size":13.0,)j"
      R"j("style":"body","weight":"regular"},"foreground":"primary","frame":{"height":16.0,"width":65.0,"x":0.0,)j"
      R"j("y":104.0},"lineLimit":2,"lines":1,"minimumScaleFactor":0.5,"relativeTime":{"instant":1000000000.0,)j"
      R"j("unitsStyle":"abbreviated"},"scale":1.0,"text":"1 min. ago","truncated":false,"type":"Text"}],)j"
      R"j("frame":{"height":19.0,"width":65.0,"x":0.0,"y":101.0},"insets":{"bottom":0.0,"leading":0.0,"top":3.0,)j"
      R"j("trailing":0.0},"type":"Padding"}],"containerBackground":"fill.tertiary","frame":{"height":120.0,)j"
      R"j("width":200.0,"x":0.0,"y":0.0},"spacing":2.0,"type":"VStack","widgetURL":"kelvo://x"})j");
}

}  // namespace
}  // namespace kelvo::ui
