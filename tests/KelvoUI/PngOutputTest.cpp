// The PNG a render writes decodes to exactly the pixels Cairo's own PNG
// writer gives for the same drawing painted by a caller onto its own canvas:
// translucent edges, text, both appearances, at a width in whole groups of
// four pixels and at one with three left over.

#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KelvoUI/WidgetRenderer.h"
#include "LayoutTestSupport.h"

namespace kelvo::ui {
namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// The PNG decoded by Cairo, as premultiplied ARGB words.
std::vector<std::uint32_t> decode(const std::string& png) {
  cairo_surface_t* surface = testing::decodePng(png);
  const int width = cairo_image_surface_get_width(surface);
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < cairo_image_surface_get_height(surface); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface) +
                                                             y * cairo_image_surface_get_stride(surface));
    pixels.insert(pixels.end(), row, row + width);
  }
  cairo_surface_destroy(surface);
  return pixels;
}

TEST(PngOutput, DecodesToTheSamePixelsAsPaintLayoutOnTheCallersCanvasWrittenByCairo) {
  const View content =
      VStack({Capsule().fill(Color::rgb(40, 205, 65, 0.4)).frame({.width = 100, .height = 20}),
              Text("Hello, 64 %").font(Font::title).foregroundStyle(ShapeStyle::secondary)});
  struct Case {
    Appearance appearance;
    double scale;
    int side;  // the widget's pixels across, 170 points at the scale
  };
  for (const Case c :
       {Case{Appearance::light, 2, 340}, Case{Appearance::dark, 2, 340}, Case{Appearance::light, 1.5, 255}}) {
    SCOPED_TRACE(c.scale);
    Environment env;
    env.appearance = c.appearance;
    const auto layout = layoutWidget(content, env);
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    const Result<std::string> ours = renderLayout(*layout, OutputFormat::png, c.scale);
    ASSERT_TRUE(ours.ok()) << ours.error().message;
    const std::vector<std::uint32_t> expected = decode(*ours);
    ASSERT_EQ(expected.size(), std::size_t(c.side) * std::size_t(c.side));

    // A red canvas 20 pixels larger than the widget, clear where the widget
    // goes at (10, 6) points.
    const int canvas = c.side + 20, left = int(10 * c.scale), top = int(6 * c.scale);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas, canvas);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr, left, top, c.side, c.side);
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_scale(cr, c.scale, c.scale);
    cairo_translate(cr, 10, 6);
    EXPECT_FALSE(paintLayout(cr, *layout).has_value());
    double x = 0, y = 0;
    cairo_user_to_device(cr, &x, &y);
    EXPECT_EQ(x, left);  // the state is restored
    std::string cairos;
    EXPECT_EQ(cairo_surface_write_to_png_stream(surface, append, &cairos), CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    const std::vector<std::uint32_t> painted = decode(cairos);
    ASSERT_EQ(painted.size(), std::size_t(canvas) * std::size_t(canvas));
    for (const int at : {100 * canvas + 5, canvas * canvas - 1})
      EXPECT_EQ(painted[std::size_t(at)], 0xffff0000u) << at;  // untouched
    EXPECT_EQ(painted[std::size_t((top + 2) * canvas + left + 2)],
              0u);  // the widget's rounded corner is left as it was
    int differing = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const std::size_t row = i / std::size_t(c.side) + std::size_t(top),
                        column = i % std::size_t(c.side) + std::size_t(left);
      differing += painted[row * std::size_t(canvas) + column] != expected[i];
    }
    EXPECT_EQ(differing, 0);
  }
}

}  // namespace
}  // namespace kelvo::ui
