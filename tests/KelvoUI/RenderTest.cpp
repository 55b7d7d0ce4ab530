// Pixel checks on real renders: Pango text, Cairo shapes, both appearances.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/WidgetRenderer.h"

namespace kelvo::ui {
namespace {

struct Pixel {
  int r, g, b, a;
};

// A decoded PNG, pixels un-premultiplied.
class Png {
 public:
  explicit Png(const std::string& bytes) : bytes_(bytes) {
    surface_ = cairo_image_surface_create_from_png_stream(&Png::read, this);
  }
  ~Png() { cairo_surface_destroy(surface_); }
  Png(const Png&) = delete;
  Png& operator=(const Png&) = delete;

  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }

  Pixel at(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    std::uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    const int a = int(v >> 24);
    const auto channel = [&](int shift) {
      const int c = int((v >> shift) & 0xff);
      return a == 0 ? 0 : int(std::lround(c * 255.0 / a));
    };
    if (cairo_image_surface_get_format(surface_) == CAIRO_FORMAT_RGB24)
      return {channel(16), channel(8), channel(0), 255};
    return {channel(16), channel(8), channel(0), a};
  }

 private:
  static cairo_status_t read(void* closure, unsigned char* data, unsigned int length) {
    auto* self = static_cast<Png*>(closure);
    if (self->offset_ + length > self->bytes_.size()) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, self->bytes_.data() + self->offset_, length);
    self->offset_ += length;
    return CAIRO_STATUS_SUCCESS;
  }

  std::string bytes_;
  size_t offset_ = 0;
  cairo_surface_t* surface_;
};

Environment smallWidget(Appearance appearance = Appearance::light) {
  Environment env;
  env.widgetFamily = WidgetFamily::systemSmall;
  env.appearance = appearance;
  env.now = 1'780'000'000;
  return env;
}

void expectColor(const Pixel& p, int r, int g, int b, int tolerance = 1) {
  EXPECT_NEAR(p.r, r, tolerance);
  EXPECT_NEAR(p.g, g, tolerance);
  EXPECT_NEAR(p.b, b, tolerance);
  EXPECT_EQ(p.a, 255);
}

double luminance(const Pixel& p) { return 0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b; }

TEST(Render, CapsuleIsFilledWithItsColourInEachAppearance) {
  const View bar = Capsule().fill(Color::green).frame({.width = 100, .height = 20});
  for (const auto appearance : {Appearance::light, Appearance::dark}) {
    auto png = renderWidget(bar, smallWidget(appearance), OutputFormat::png);
    ASSERT_TRUE(png.ok()) << png.error().message;
    const Png image(*png);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image.width(), 340);
    EXPECT_EQ(image.height(), 340);
    // The capsule is centred: 35...135 by 75...95 points.
    if (appearance == Appearance::light) {
      expectColor(image.at(170, 170), 40, 205, 65);
      expectColor(image.at(80, 170), 40, 205, 65);
      expectColor(image.at(170, 140), 246, 246, 246);  // above it: the window material
    } else {
      expectColor(image.at(170, 170), 50, 215, 75);
      expectColor(image.at(170, 140), 30, 30, 32);
    }
    // Outside the widget's rounded corner nothing is drawn.
    EXPECT_EQ(image.at(1, 1).a, 0);
  }
}

// Pixels that differ from the plain widget background, and their bounds.
struct Ink {
  int count = 0;
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  double darkest = 255, brightest = 0;
};

Ink inkOf(const Png& image, const Pixel& background) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const Pixel p = image.at(x, y);
      if (p.a < 255) continue;  // outside the shape or on its antialiased edge
      if (std::abs(p.r - background.r) + std::abs(p.g - background.g) + std::abs(p.b - background.b) < 6)
        continue;
      ++ink.count;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
      ink.darkest = std::min(ink.darkest, luminance(p));
      ink.brightest = std::max(ink.brightest, luminance(p));
    }
  }
  return ink;
}

TEST(Render, TextIsDrawnInsideItsFrameInTheForegroundOfEachAppearance) {
  const View hello = Text("Hello").font(Font::title);
  for (const auto appearance : {Appearance::light, Appearance::dark}) {
    const Environment env = smallWidget(appearance);
    auto layout = layoutWidget(hello, env);
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    const Rect frame = layout->root.frame;
    EXPECT_GT(frame.width, 40);
    EXPECT_NEAR(frame.height, 26, 0.01);  // one title line
    auto png = renderLayout(*layout, OutputFormat::png, 2);
    ASSERT_TRUE(png.ok());
    const Png image(*png);
    const Rgba material = windowMaterial(appearance);
    const Ink ink =
        inkOf(image, {int(std::lround(material.red * 255)), int(std::lround(material.green * 255)),
                      int(std::lround(material.blue * 255)), 255});
    EXPECT_GT(ink.count, 200);
    EXPECT_GE(ink.left, int(std::floor(frame.x * 2)) - 1);
    EXPECT_LE(ink.right, int(std::ceil((frame.x + frame.width) * 2)) + 1);
    EXPECT_GE(ink.top, int(std::floor(frame.y * 2)) - 1);
    EXPECT_LE(ink.bottom, int(std::ceil((frame.y + frame.height) * 2)) + 1);
    // Primary text: near-black on light, near-white on dark.
    if (appearance == Appearance::light) {
      EXPECT_LT(ink.darkest, 80);
    } else {
      EXPECT_GT(ink.brightest, 180);
      EXPECT_GT(ink.darkest, 30);  // nothing darker than the dark material
    }
  }
}

TEST(Render, ContainerBackgroundIsDrawnOnlyByTheModernHostInsideItsMargins) {
  const View content = Capsule()
                           .fill(Color::accentColor)
                           .frame({.maxWidth = infinity, .maxHeight = infinity})
                           .containerBackground(ShapeStyle::fill.tertiary);
  Environment modern = smallWidget();
  auto modernPng = renderWidget(content, modern, OutputFormat::png);
  ASSERT_TRUE(modernPng.ok());
  const Png m(*modernPng);
  // In the 16-point margin: 5 % black over the window material.
  expectColor(m.at(20, 170), 234, 234, 234);
  expectColor(m.at(40, 170), 0, 122, 255);

  Environment older = smallWidget();
  older.host.containerBackground = ContainerBackgroundSupport::unsupported;
  auto layout = layoutWidget(content, older);
  ASSERT_TRUE(layout.ok());
  EXPECT_FALSE(layout->containerBackgroundDrawn);
  EXPECT_EQ(layout->contentRect, (Rect{0, 0, 170, 170}));
  auto olderPng = renderLayout(*layout, OutputFormat::png);
  ASSERT_TRUE(olderPng.ok());
  const Png o(*olderPng);
  // No margins of its own: the content reaches the edge.
  expectColor(o.at(4, 170), 0, 122, 255);
}

TEST(Render, PictureIsScaledIntoItsFrame) {
  auto pixels =
      std::make_shared<std::vector<std::uint32_t>>(std::vector<std::uint32_t>{0xffff0000u, 0xff0000ffu});
  const Bitmap redBlue{2, 1, pixels};
  const View picture = Image(redBlue).resizable().frame({.width = 100, .height = 50});
  auto png = renderWidget(picture, smallWidget(), OutputFormat::png);
  ASSERT_TRUE(png.ok());
  const Png image(*png);
  // Frame: 35...135 by 60...110 points.
  const Pixel left = image.at(80, 170), right = image.at(260, 170);
  EXPECT_GT(left.r, 200);
  EXPECT_LT(left.b, 60);
  EXPECT_GT(right.b, 200);
  EXPECT_LT(right.r, 60);
}

TEST(Render, SymbolsDrawInTheirColourAndUnknownOnesDrawNothing) {
  const Environment env = smallWidget();
  const View bolt = Image({.systemName = "bolt.fill"}).font(Font::title).foregroundStyle(Color::orange);
  auto png = renderWidget(bolt, env, OutputFormat::png);
  ASSERT_TRUE(png.ok());
  const Png image(*png);
  int orange = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const Pixel p = image.at(x, y);
      if (p.a == 255 && std::abs(p.r - 255) < 3 && std::abs(p.g - 149) < 3 && p.b < 3) ++orange;
    }
  }
  EXPECT_GT(orange, 100);

  auto blank = renderWidget(View(), env, OutputFormat::png);
  auto unknown =
      renderWidget(Image({.systemName = "no.such.symbol"}).font(Font::title), env, OutputFormat::png);
  ASSERT_TRUE(blank.ok());
  ASSERT_TRUE(unknown.ok());
  EXPECT_EQ(*blank, *unknown);
}

TEST(Render, VectorFormatsCarryTheWidgetURL) {
  const View content = Text("Open").widgetURL("kelvo://open?a=1&b='2'");
  auto svg = renderWidget(content, smallWidget(), OutputFormat::svg);
  ASSERT_TRUE(svg.ok()) << svg.error().message;
  EXPECT_NE(svg->find("<a xlink:href=\"kelvo://open?a=1&amp;b=&apos;2&apos;\""), std::string::npos);
  EXPECT_LT(svg->find("<a "), svg->find("</a>"));
  EXPECT_LT(svg->find("</a>"), svg->rfind("</svg>"));
  auto pdf = renderWidget(content, smallWidget(), OutputFormat::pdf);
  ASSERT_TRUE(pdf.ok()) << pdf.error().message;
  EXPECT_EQ(pdf->rfind("%PDF", 0), 0u);
  EXPECT_NE(pdf->find("/URI (kelvo://open?a=1&b='2')"), std::string::npos);
  // Without a URL there is no link.
  auto plain = renderWidget(Text("Open"), smallWidget(), OutputFormat::svg);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain->find("<a "), std::string::npos);
}

TEST(Render, MalformedUtf8IsReplacedNotFatal) {
  const std::string broken = "Caf\xc3 \xff\xfe ok";
  const View content =
      VStack({Text(broken), Label(broken, {.systemName = broken})}).widgetURL("kelvo://\xff");
  for (const auto format : {OutputFormat::json, OutputFormat::png, OutputFormat::svg, OutputFormat::pdf}) {
    auto out = renderWidget(content, smallWidget(), format);
    ASSERT_TRUE(out.ok()) << out.error().message;
    EXPECT_FALSE(out->empty());
  }
  auto layout = layoutWidget(content, smallWidget());
  ASSERT_TRUE(layout.ok());
  const std::string json = dumpWidget(*layout).dump();  // would throw on invalid UTF-8
  EXPECT_NE(json.find("Caf\xef\xbf\xbd"), std::string::npos);
}

TEST(Render, ScaleSetsThePixelSizeAndMustBePositive) {
  auto one = renderWidget(Text("x"), smallWidget(), OutputFormat::png, 1);
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(Png(*one).width(), 170);
  Environment large = smallWidget();
  large.widgetFamily = WidgetFamily::systemLarge;
  auto three = renderWidget(Text("x"), large, OutputFormat::png, 3);
  ASSERT_TRUE(three.ok());
  EXPECT_EQ(Png(*three).width(), 364 * 3);
  EXPECT_EQ(Png(*three).height(), 382 * 3);
  EXPECT_FALSE(renderWidget(Text("x"), smallWidget(), OutputFormat::png, 0).ok());
  EXPECT_FALSE(renderWidget(Text("x"), smallWidget(), OutputFormat::png, NAN).ok());
  EXPECT_FALSE(renderWidget(Text("x"), smallWidget(), OutputFormat::png, 1e6).ok());
}

}  // namespace
}  // namespace kelvo::ui
