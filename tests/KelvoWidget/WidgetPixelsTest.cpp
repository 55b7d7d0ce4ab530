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

}  // namespace
}  // namespace kelvo::widget
