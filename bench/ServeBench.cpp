// The large widget with a car picture drawn at the further sizes serve is
// asked for (the picture decoded once, the layout made once per query, as
// the server keeps both): drawing, grey, dithering and encoding per image.

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KelvoShared/SharedStore.h"
#include "KelvoUI/Layout.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"
#include "PanelImage.h"
#include "SnapshotSource.h"

using namespace kelvo;

namespace {

constexpr Date kNow{1796558400};  // 2026-12-06T12:00:00Z

// A 1600 x 1200 picture: the same 800 x 600 thumbnail as a 12 MP photo.
// $KELVO_BENCH_PICTURE names another file to use.
std::vector<std::uint8_t> pictureBytes() {
  if (const char* path = std::getenv("KELVO_BENCH_PICTURE")) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1600, 1200);
  cairo_t* cr = cairo_create(surface);
  cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 1600, 1200);
  cairo_pattern_add_color_stop_rgb(sky, 0, 0.2, 0.4, 0.8);
  cairo_pattern_add_color_stop_rgb(sky, 1, 0.9, 0.6, 0.3);
  cairo_set_source(cr, sky);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.12);
  cairo_arc(cr, 800, 700, 400, 0, 6.3);
  cairo_fill(cr);
  cairo_pattern_destroy(sky);
  cairo_destroy(cr);
  std::vector<std::uint8_t> png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return png;
}

struct Widget {
  std::filesystem::path directory;
  std::shared_ptr<const serve::Document> document;
  ui::WidgetLayout standard, increased;

  Widget() {
    serve::prepareDrawing();  // as the server does
    directory = std::filesystem::temp_directory_path() / ("kelvo-serve-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const SharedStore store(Platform::withSharedDirectory(directory));
    WidgetSnapshot snapshot =
        decodeSnapshot(
            "{\"batteryPercentage\":64,\"rangeKm\":318,\"statusKey\":\"CHARGING\",\"isDriving\":false,"
            "\"isPluggedIn\":true,\"fullInMinutes\":95,\"chargingPowerWatts\":11000,"
            "\"carTitle\":\"Polestar 4 · 2026\",\"modelName\":\"Polestar 4\",\"registrationNo\":\"KLV 042\","
            "\"odometerKm\":23412,\"carReportedAt\":\"2026-12-06T11:58:00Z\","
            "\"writtenAt\":\"2026-12-06T11:58:30Z\",\"unit\":\"Kilometers (km)\",\"hasImage\":false}")
            .value();
    const SharedStore::Writer writer = store.writer().value();
    if (!writer.save(snapshot).ok() || !writer.saveImage(pictureBytes()).ok()) std::abort();
    static serve::SnapshotSource source(Platform::withSharedDirectory(directory), [] { return kNow; });
    document = source.current();
    const widget::CarEntry& entry = document->entry(ui::WidgetFamily::systemLarge);
    for (const ui::Contrast contrast : {ui::Contrast::standard, ui::Contrast::increased}) {
      ui::Environment environment =
          widget::hostEnvironment(ui::WidgetFamily::systemLarge, kNow, ui::Appearance::light);
      environment.host.containerBackground = ui::ContainerBackgroundSupport::supported;
      environment.contrast = contrast;
      (contrast == ui::Contrast::standard ? standard : increased) =
          ui::layoutWidget(widget::KelvoCarWidget::entryContent()(entry), environment).value();
    }
  }
  ~Widget() { std::filesystem::remove_all(directory); }
};

Widget& widgetOnce() {
  static Widget widget;
  return widget;
}

void drawSize(benchmark::State& state, serve::WidgetQuery query) {
  Widget& widget = widgetOnce();
  const bool increased = query.panel.colors && *query.panel.colors <= 4;
  const ui::WidgetLayout& layout = increased ? widget.increased : widget.standard;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const Result<std::string> image = serve::drawImage(layout, query);
    if (!image) state.SkipWithError(image.error().message.c_str());
    bytes = image ? image->size() : 0;
  }
  state.counters["bytes"] = double(bytes);
}

serve::WidgetQuery query(double scale, std::optional<int> width = {}, std::optional<int> height = {},
                         std::optional<int> colors = {}, int rotate = 0, bool bmp = false) {
  serve::WidgetQuery q;
  q.family = ui::WidgetFamily::systemLarge;
  q.scale = scale;
  q.panel.width = width;
  q.panel.height = height;
  q.panel.colors = colors;
  q.panel.rotate = rotate;
  q.panel.bmp = bmp;
  return q;
}

BENCHMARK_CAPTURE(drawSize, scale_2, query(2));
BENCHMARK_CAPTURE(drawSize, scale_1, query(1));
BENCHMARK_CAPTURE(drawSize, scale_1_5, query(1.5));
BENCHMARK_CAPTURE(drawSize, scale_3, query(3));
BENCHMARK_CAPTURE(drawSize, panel_800x480_2_png, query(2, 800, 480, 2));
BENCHMARK_CAPTURE(drawSize, panel_800x480_2_bmp, query(2, 800, 480, 2, 0, true));
BENCHMARK_CAPTURE(drawSize, panel_600x448_16_turned, query(2, 600, 448, 16, 90));
BENCHMARK_CAPTURE(drawSize, panel_1072x1448_16, query(2, 1072, 1448, 16));

}  // namespace
