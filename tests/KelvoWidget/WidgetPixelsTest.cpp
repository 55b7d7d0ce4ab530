// A few checks on real PNG renders: the layout says where things are, the
// decoded pixels say they were drawn there in the right colours.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "KelvoUI/WidgetRenderer.h"
#include "KelvoWidget/KelvoWidgetBundle.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

struct Rgb {
  int red, green, blue;
};

// A decoded PNG.
class Pixels {
 public:
  explicit Pixels(const std::string& png) {
    struct Reader {
      const std::string* data;
      std::size_t offset = 0;
    } reader{&png};
    surface_.reset(cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* out, unsigned int length) {
          auto* r = static_cast<Reader*>(closure);
          if (r->offset + length > r->data->size()) return CAIRO_STATUS_READ_ERROR;
          std::memcpy(out, r->data->data() + r->offset, length);
          r->offset += length;
          return CAIRO_STATUS_SUCCESS;
        },
        &reader));
  }

  bool ok() const { return cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_.get()); }
  int height() const { return cairo_image_surface_get_height(surface_.get()); }

  // The colour at a point given in widget points, at 2 pixels per point.
  Rgb at(double x, double y) const {
    const int px = static_cast<int>(x * 2), py = static_cast<int>(y * 2);
    const unsigned char* row =
        cairo_image_surface_get_data(surface_.get()) + py * cairo_image_surface_get_stride(surface_.get());
    std::uint32_t argb;
    std::memcpy(&argb, row + px * 4, 4);
    return {static_cast<int>((argb >> 16) & 0xff), static_cast<int>((argb >> 8) & 0xff),
            static_cast<int>(argb & 0xff)};
  }

 private:
  struct Destroy {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  };
  std::unique_ptr<cairo_surface_t, Destroy> surface_;
};

int luminance(Rgb c) { return (299 * c.red + 587 * c.green + 114 * c.blue) / 1000; }

struct Render {
  testing::Json tree;
  Pixels pixels;
};

Render render(const WidgetSnapshot& snapshot, ui::WidgetFamily family, ui::Appearance appearance) {
  ui::Environment environment = testing::environmentFor(family);
  environment.appearance = appearance;
  const CarEntry entry{Date{testing::kNow}, snapshot};
  const Result<ui::WidgetLayout> layout =
      ui::layoutWidget(KelvoCarWidget::entryContent()(entry), environment);
  EXPECT_TRUE(layout.ok());
  const Result<std::string> png = ui::renderLayout(*layout, ui::OutputFormat::png);
  EXPECT_TRUE(png.ok());
  return {ui::dumpWidget(*layout), Pixels(png.ok() ? *png : std::string())};
}

testing::Json capsule(const testing::Json& tree, int index) {
  return testing::findAll(testing::namedView(tree, "BatteryBar"),
                          [](const testing::Json& n) { return n.value("type", "") == "Capsule"; })
      .at(index);
}

TEST(WidgetPixels, BarFillIsGreenWhileChargingAndTheTrackBeyondItIsNot) {
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.statusKey = "CHARGING";
  snapshot.batteryPercentage = 50;
  const Render drawn = render(snapshot, ui::WidgetFamily::systemSmall, ui::Appearance::light);
  ASSERT_TRUE(drawn.pixels.ok());
  EXPECT_EQ(drawn.pixels.width(), 340);
  EXPECT_EQ(drawn.pixels.height(), 340);

  const testing::Json fill = capsule(drawn.tree, 1);
  const double y = fill["frame"]["y"].get<double>() + 3;
  const double fillMiddle = fill["frame"]["x"].get<double>() + fill["frame"]["width"].get<double>() / 2;
  const Rgb green = drawn.pixels.at(fillMiddle, y);
  EXPECT_NEAR(green.red, 40, 3);
  EXPECT_NEAR(green.green, 205, 3);
  EXPECT_NEAR(green.blue, 65, 3);

  const testing::Json track = capsule(drawn.tree, 0);
  const double trackEnd = track["frame"]["x"].get<double>() + track["frame"]["width"].get<double>() - 10;
  const Rgb grey = drawn.pixels.at(trackEnd, y);
  EXPECT_LT(std::abs(grey.red - grey.green), 6) << "the track is a neutral grey, not the tint";
  EXPECT_LT(grey.green, 235);
}

// The darkest (light) or brightest (dark) pixel inside a text's frame.
Rgb inkInside(const Pixels& pixels, const testing::Json& text, ui::Appearance appearance) {
  const double x0 = text["frame"]["x"], y0 = text["frame"]["y"];
  const double w = text["frame"]["width"], h = text["frame"]["height"];
  Rgb best = pixels.at(x0, y0);
  for (double y = y0; y < y0 + h; y += 0.5) {
    for (double x = x0; x < x0 + w; x += 0.5) {
      const Rgb c = pixels.at(x, y);
      const bool better = appearance == ui::Appearance::light ? luminance(c) < luminance(best)
                                                              : luminance(c) > luminance(best);
      if (better) best = c;
    }
  }
  return best;
}

TEST(WidgetPixels, PercentFigureIsDarkOnLightAndLightOnDark) {
  const WidgetSnapshot snapshot = testing::sampleSnapshot();
  const Render light = render(snapshot, ui::WidgetFamily::systemLarge, ui::Appearance::light);
  const Render dark = render(snapshot, ui::WidgetFamily::systemLarge, ui::Appearance::dark);
  const testing::Json percent = testing::textNode(light.tree, "80%");

  const Rgb lightInk = inkInside(light.pixels, percent, ui::Appearance::light);
  const Rgb darkInk = inkInside(dark.pixels, testing::textNode(dark.tree, "80%"), ui::Appearance::dark);
  EXPECT_LT(luminance(lightInk), 80) << "text pixels are drawn inside the text's frame";
  EXPECT_GT(luminance(darkInk), 180);

  // Background just outside the figure has the opposite brightness.
  const double belowX = percent["frame"]["x"].get<double>() + 1;
  const double beside = percent["frame"]["y"].get<double>() - 4;
  EXPECT_GT(luminance(light.pixels.at(belowX, beside)), 200);
  EXPECT_LT(luminance(dark.pixels.at(belowX, beside)), 80);
}

}  // namespace
}  // namespace kelvo::widget
