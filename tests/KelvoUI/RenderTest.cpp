// Pixel checks on real renders: Pango text, Cairo shapes, both appearances.

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "KelvoUI/WidgetRenderer.h"
#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

struct Pixel {
  int r = 0, g = 0, b = 0, a = 0;
};

// A render decoded again with Cairo. Channels are premultiplied, so opaque pixels read as their
// colour; reads outside the image are transparent.
struct Png {
  explicit Png(const Result<std::string>& render)
      : surface(testing::decodePng(render.ok() ? std::string_view(*render) : std::string_view()),
                cairo_surface_destroy),
        width(cairo_image_surface_get_width(surface.get())),
        height(cairo_image_surface_get_height(surface.get())) {
    EXPECT_TRUE(render.ok()) << render.error().message;
  }
  Pixel at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {};
    const unsigned char* row =
        cairo_image_surface_get_data(surface.get()) + y * cairo_image_surface_get_stride(surface.get());
    const std::uint32_t v = reinterpret_cast<const std::uint32_t*>(row)[x];
    return {int(v >> 16 & 0xff), int(v >> 8 & 0xff), int(v & 0xff), int(v >> 24)};
  }

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;
  int width, height;
};

bool near(const Pixel& p, const Pixel& expected, int tolerance = 1) {
  return p.a == expected.a && std::abs(p.r - expected.r) <= tolerance &&
         std::abs(p.g - expected.g) <= tolerance && std::abs(p.b - expected.b) <= tolerance;
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
    const Png image(renderLayout(*layout, OutputFormat::png));
    // The ink of the short second line, at 2 pixels per point.
    int first = image.width, last = -1;
    for (int y = int(2 * (frame.y + 17)); y < int(2 * (frame.y + 31)); ++y)
      for (int x = 0; x < image.width; ++x)
        if (image.at(x, y).a == 255 && image.at(x, y).r < 120)
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
    const Png modern(renderWidget(content, env, OutputFormat::png));
    EXPECT_TRUE(near(modern.at(20, 170), margin));  // 5 % black or white over the material
    EXPECT_TRUE(near(modern.at(40, 170), green));
    EXPECT_EQ(modern.at(1, 1).a, 0);  // outside the widget's rounded corner
    env.host.containerBackground = ContainerBackgroundSupport::unsupported;
    const auto layout = layoutWidget(content, env);
    ASSERT_TRUE(layout.ok());
    EXPECT_FALSE(layout->containerBackgroundDrawn);
    EXPECT_EQ(layout->contentRect, (Rect{0, 0, 170, 170}));
    EXPECT_TRUE(
        near(Png(renderLayout(*layout, OutputFormat::png)).at(4, 170), green));  // no margins of its own
  }
}

TEST(Render, PicturesAndSymbolsAreDrawn) {
  const auto redBlue = std::make_shared<std::vector<std::uint32_t>>(std::vector{0xffff0000u, 0xff0000ffu});
  const View picture = Image(Bitmap{2, 1, redBlue}).resizable().frame({.width = 100, .height = 50});
  const Png pictured(renderWidget(picture, {}, OutputFormat::png));
  // Frame: 35...135 by 60...110 points; the two pixels are stretched across it.
  EXPECT_TRUE(near(pictured.at(80, 170), {255, 0, 0, 255}, 60));
  EXPECT_TRUE(near(pictured.at(260, 170), {0, 0, 255, 255}, 60));

  const View bolt = Image({.systemName = "bolt.fill"}).font(Font::title).foregroundStyle(Color::orange);
  int orange = 0;
  const Png drawn(renderWidget(bolt, {}, OutputFormat::png));
  for (int y = 0; y < drawn.height; ++y)
    for (int x = 0; x < drawn.width; ++x) orange += near(drawn.at(x, y), {255, 149, 0, 255}, 2);
  EXPECT_GT(orange, 100);
}

TEST(Render, VectorFormatsCarryTheWidgetURL) {
  const View content = Text("Open").widgetURL("kelvo://open?a=1&b='2'");
  EXPECT_NE(renderWidget(content, {}, OutputFormat::svg)
                ->find("<a xlink:href=\"kelvo://open?a=1&amp;b=&apos;2&apos;\""),
            std::string::npos);
  EXPECT_NE(renderWidget(content, {}, OutputFormat::pdf)->find("/URI (kelvo://open?a=1&b='2')"),
            std::string::npos);
  EXPECT_EQ(renderWidget(Text("Open"), {}, OutputFormat::svg)->find("<a "), std::string::npos);
}

TEST(Render, MalformedUtf8AndNoncharactersAreReplacedAndEveryFormatDraws) {
  // {text, as shown}: what is not a character becomes U+FFFD, its neighbours stay.
  const std::pair<std::string, std::string> cases[] = {
      {"Caf\xc3 \xff ok", "Caf\uFFFD \uFFFD ok"},
      {"a\uFFFEb", "a\uFFFDb"},
      {"\uFDD0\uFDEF", "\uFFFD\uFFFD"},
      {"\U0001FFFE\U0010FFFF", "\uFFFD\uFFFD"},
      {"\uFDCF\uFDF0\uFFFD\U0010FFFD", "\uFDCF\uFDF0\uFFFD\U0010FFFD"}};
  for (const auto& [text, shown] : cases) {
    const View content = VStack({Text(text), Label(text, {.systemName = text})}).widgetURL("kelvo://" + text);
    for (const OutputFormatInfo& row : kOutputFormats) {
      const auto out = renderWidget(content, {}, row.format);
      ASSERT_TRUE(out.ok()) << out.error().message;
      EXPECT_FALSE(out->empty()) << row.name << " " << shown;
    }
    const auto layout = layoutWidget(content, {});
    ASSERT_TRUE(layout.ok());
    EXPECT_EQ(testing::textOf(layout->root.children.at(0))->request.text, shown);
    EXPECT_NO_THROW(dumpWidget(*layout).dump());  // throws on invalid UTF-8
  }
}

TEST(Render, EveryFamilyIsFoundByItsNamesTheSystemOnesOnlyWhenAccepted) {
  for (const WidgetFamilyInfo& row : kWidgetFamilies) {
    EXPECT_EQ(parseFamily(row.name), row.family);
    EXPECT_EQ(parseFamily(row.systemName), row.family);
    EXPECT_EQ(parseFamily(row.systemName, SystemNames::refused), std::nullopt);
  }
  EXPECT_EQ(parseFamily("Small"), std::nullopt);
}

TEST(Render, ScaleSetsThePixelSizeAndMustBePositive) {
  Environment large;
  large.widgetFamily = WidgetFamily::systemLarge;
  const Png three(renderWidget(Text("x"), large, OutputFormat::png, 3));
  EXPECT_EQ(std::pair(three.width, three.height), std::pair(364 * 3, 382 * 3));
  for (const double scale : {0.0, double(NAN), 1e6})
    EXPECT_FALSE(renderWidget(Text("x"), {}, OutputFormat::png, scale).ok()) << scale;
}

}  // namespace
}  // namespace kelvo::ui
