// Layout and drawing of a 40-node tree (a large widget's worth of elements)
// at 2x to a PNG in memory, with Pango text and the Material symbol fonts.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/WidgetRenderer.h"

using namespace kelvo::ui;

namespace {

struct Cell {
  static constexpr const char* name = "Cell";
  std::string key, value;
  std::string id() const { return key; }
  View body() const {
    return VStack({.alignment = HorizontalAlignment::leading, .spacing = 1},
                  {
                      Text(key).font(Font::caption2).foregroundStyle(ShapeStyle::tertiary),
                      Text(value).font(Font::callout).fontWeight(FontWeight::medium),
                  });
  }
};

View fortyNodes(double now) {
  const std::vector<Cell> cells{
      {"Full in", "1h 5m"}, {"Power", "11 kW"}, {"Charger", "Connected"}, {"Odometer", "12,345 km"}};
  return VStack(
             {.alignment = HorizontalAlignment::leading, .spacing = 8},
             {
                 HStack(
                     {.alignment = VerticalAlignment::firstTextBaseline},
                     {
                         VStack(
                             {.alignment = HorizontalAlignment::leading, .spacing = 1},
                             {
                                 Text("Family car").font(Font::headline).lineLimit(1),
                                 Text("AB 123 CD").font(Font::caption2).foregroundStyle(ShapeStyle::tertiary),
                             }),
                         Spacer(8),
                         Label("Charging", {.systemName = "bolt.fill"})
                             .labelStyle(LabelStyle::titleAndIcon)
                             .font(Font::caption)
                             .foregroundStyle(Color::green),
                     }),
                 HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 6},
                        {
                            Text("80%").font(Font::system(32, FontWeight::semibold, FontDesign::rounded)),
                            Text("312 km").font(Font::callout).foregroundStyle(ShapeStyle::secondary),
                            Spacer(0),
                        }),
                 GeometryReader([](const GeometryProxy& geo) {
                   return ZStack(
                       {.alignment = Alignment::leading},
                       {
                           Capsule().fill(ShapeStyle::quaternary),
                           Capsule().fill(Color::green).frame({.width = std::max(geo.size.width * 0.8, 2.0)}),
                       });
                 })
                     .frame({.height = 6})
                     .accessibilityHidden(true),
                 LazyVGrid({.columns = {GridItem{.alignment = Alignment::leading},
                                        GridItem{.alignment = Alignment::leading}},
                            .alignment = HorizontalAlignment::leading,
                            .spacing = 8},
                           {ForEach(cells, [](const Cell& c) { return c; })}),
                 Spacer(0),
                 HStack({.spacing = 4},
                        {
                            Text("Updated"),
                            Text(now - 480, RelativeUnitsStyle::abbreviated),
                            Spacer(0),
                            Image({.systemName = "bolt.car"}),
                        })
                     .font(Font::caption2)
                     .foregroundStyle(ShapeStyle::tertiary),
             })
      .frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading})
      .widgetURL("kelvo://open")
      .containerBackground(ShapeStyle::fill.tertiary);
}

int countNodes(const LaidOutNode& node) {
  int n = 1;
  for (const auto& child : node.children) n += countNodes(child);
  return n;
}

Environment largeWidget() {
  Environment env;
  env.widgetFamily = WidgetFamily::systemLarge;
  env.now = 1'780'000'000;
  env.host.contentMargin = 16;  // as the modern host draws the widget
  return env;
}

void BM_LayoutAndDrawPng2x(benchmark::State& state) {
  const Environment env = largeWidget();
  const View tree = fortyNodes(env.now);
  size_t bytes = 0;
  for (auto _ : state) {
    auto png = renderWidget(tree, env, OutputFormat::png, 2);
    if (!png) {
      state.SkipWithError(png.error().message.c_str());
      return;
    }
    bytes = png->size();
    benchmark::DoNotOptimize(png->data());
  }
  auto layout = layoutWidget(tree, env);
  state.counters["nodes"] = layout ? countNodes(layout->root) : 0;
  state.counters["pngBytes"] = double(bytes);
}
BENCHMARK(BM_LayoutAndDrawPng2x)->Unit(benchmark::kMillisecond);

void BM_LayoutOnly(benchmark::State& state) {
  const Environment env = largeWidget();
  const View tree = fortyNodes(env.now);
  for (auto _ : state) {
    auto layout = layoutWidget(tree, env);
    benchmark::DoNotOptimize(layout);
  }
}
BENCHMARK(BM_LayoutOnly)->Unit(benchmark::kMillisecond);

}  // namespace
