// The PNG a render writes decodes to exactly the pixels Cairo's own PNG
// writer gives for the same drawing: translucent edges, text, both
// appearances, opaque and not.

#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
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
std::vector<std::uint32_t> decode(std::string_view png) {
  cairo_surface_t* surface = testing::decodePng(png);
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < cairo_image_surface_get_height(surface); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface) +
                                                             y * cairo_image_surface_get_stride(surface));
    pixels.insert(pixels.end(), row, row + cairo_image_surface_get_width(surface));
  }
  cairo_surface_destroy(surface);
  return pixels;
}

TEST(PngOutput, DecodesToTheSamePixelsAsCairosWriter) {
  const View content =
      VStack({Capsule().fill(Color::rgb(40, 205, 65, 0.4)).frame({.width = 100, .height = 20}),
              Text("Hello, 64 %").font(Font::title).foregroundStyle(ShapeStyle::secondary)});
  for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
    Environment env;
    env.appearance = appearance;
    const auto layout = layoutWidget(content, env);
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    const Result<std::string> ours = renderLayout(*layout, OutputFormat::png, 2);
    ASSERT_TRUE(ours.ok()) << ours.error().message;

    const int width = static_cast<int>(layout->widgetSize.width * 2),
              height = static_cast<int>(layout->widgetSize.height * 2);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 2, 2);
    EXPECT_FALSE(paintLayout(cr, *layout).has_value());
    std::string cairos;
    EXPECT_EQ(cairo_surface_write_to_png_stream(surface, append, &cairos), CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    const std::vector<std::uint32_t> expected = decode(cairos);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(width) * height);
    EXPECT_TRUE(decode(*ours) == expected);
  }
}

}  // namespace
}  // namespace kelvo::ui
