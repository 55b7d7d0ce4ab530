// A few checks on real PNG renders: the layout says where things are, the
// decoded pixels say they were drawn there in the right colours.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>

#include "TempDirectory.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using testing::Json;

struct Rgb {
  int red, green, blue;
  int luminance() const { return (299 * red + 587 * green + 114 * blue) / 1000; }
};

// The widget's layout and its PNG render, decoded.
struct Render {
  Json tree;
  std::shared_ptr<cairo_surface_t> surface;

  // The colour at a point given in widget points, at 2 pixels per point.
  Rgb at(double x, double y) const {
    const unsigned char* row = cairo_image_surface_get_data(surface.get()) +
                               static_cast<int>(y * 2) * cairo_image_surface_get_stride(surface.get());
    std::uint32_t argb;
    std::memcpy(&argb, row + static_cast<int>(x * 2) * 4, 4);
    return {static_cast<int>((argb >> 16) & 0xff), static_cast<int>((argb >> 8) & 0xff),
            static_cast<int>(argb & 0xff)};
  }
};

Render render(const WidgetSnapshot& snapshot, ui::WidgetFamily family, ui::Appearance appearance) {
  ui::Environment environment = testing::environmentFor(family);
  environment.appearance = appearance;
  const Result<ui::WidgetLayout> layout = testing::layoutSnapshot(snapshot, environment);
  const Result<std::string> png = layout ? ui::renderLayout(*layout, ui::OutputFormat::png) : layout.error();
  EXPECT_TRUE(png.ok());
  const kelvo::testing::TempDirectory temp;
  kelvo::testing::writeFile(temp.path() / "widget.png", png ? *png : "");
  return {
      layout ? ui::dumpWidget(*layout) : Json::object(),
      std::shared_ptr<cairo_surface_t>(
          cairo_image_surface_create_from_png((temp.path() / "widget.png").c_str()), cairo_surface_destroy)};
}

TEST(WidgetPixels, BarFillIsGreenWhileChargingAndTheTrackBeyondItIsNot) {
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.batteryPercentage = 50;
  const Render drawn = render(snapshot, ui::WidgetFamily::systemSmall, ui::Appearance::light);
  ASSERT_EQ(cairo_surface_status(drawn.surface.get()), CAIRO_STATUS_SUCCESS);
  const auto capsules = testing::ofType(testing::namedView(drawn.tree, "BatteryBar"), "Capsule");
  ASSERT_EQ(capsules.size(), 2u);
  const Json &track = capsules[0]["frame"], &fill = capsules[1]["frame"];
  const double y = fill["y"].get<double>() + 3;
  const Rgb green = drawn.at(fill["x"].get<double>() + fill["width"].get<double>() / 2, y);
  EXPECT_TRUE(std::abs(green.red - 40) <= 3 && std::abs(green.green - 205) <= 3 &&
              std::abs(green.blue - 65) <= 3)
      << green.red << "," << green.green << "," << green.blue;
  const Rgb grey = drawn.at(track["x"].get<double>() + track["width"].get<double>() - 10, y);
  EXPECT_LT(std::abs(grey.red - grey.green), 6) << "the track is a neutral grey, not the tint";
  EXPECT_LT(grey.green, 235);
}

TEST(WidgetPixels, PercentFigureIsDarkOnLightAndLightOnDark) {
  for (const auto appearance : {ui::Appearance::light, ui::Appearance::dark}) {
    const Render drawn = render(testing::sampleSnapshot(), ui::WidgetFamily::systemLarge, appearance);
    const Json frame = testing::textNode(drawn.tree, "64%")["frame"];
    const double x0 = frame["x"], y0 = frame["y"], w = frame["width"], h = frame["height"];
    // The darkest (light) or brightest (dark) pixel inside the text's frame: its ink.
    const int sign = appearance == ui::Appearance::light ? 1 : -1;
    int ink = sign * 255;
    for (double y = y0; y < y0 + h; y += 0.5) {
      for (double x = x0; x < x0 + w; x += 0.5)
        ink = sign * std::min(sign * ink, sign * drawn.at(x, y).luminance());
    }
    // Background just outside the figure has the opposite brightness.
    const int background = drawn.at(x0 + 1, y0 - 4).luminance();
    const bool light = appearance == ui::Appearance::light;  // text pixels inside the text's frame
    EXPECT_TRUE(light ? ink < 80 && background > 200 : ink > 180 && background < 80)
        << ink << ", " << background;
  }
}

}  // namespace
}  // namespace kelvo::widget
