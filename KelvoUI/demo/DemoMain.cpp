// Renders a demo composition (a home battery, not the car widget) in each
// offered family and both appearances: kelvoui-demo OUTDIR [png|svg|pdf|json]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/WidgetRenderer.h"

using namespace kelvo::ui;

namespace {

struct Gauge : ViewModifiers<Gauge> {
  static constexpr const char* name = "Gauge";
  Gauge(double fraction, Color tint) : fraction(fraction), tint(std::move(tint)) {}
  double fraction;
  Color tint;

  View body() const {
    return GeometryReader([f = fraction, t = tint](const GeometryProxy& geo) {
             const double w = std::max(geo.size.width * std::clamp(f, 0.0, 1.0), 2.0);
             return ZStack({.alignment = Alignment::leading}, {
                                                                  Capsule().fill(ShapeStyle::quaternary),
                                                                  Capsule().fill(t).frame({.width = w}),
                                                              });
           })
        .frame({.height = 6})
        .accessibilityHidden(true);
  }
};

struct Reading {
  static constexpr const char* name = "Reading";
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

struct HomeBattery {
  static constexpr const char* name = "HomeBattery";
  double now;

  View body(const Environment& env) const {
    const std::vector<Reading> readings{
        {"Solar", "3.2 kW"}, {"House", "1.1 kW"}, {"Grid", "Exporting"}, {"Cycles", "1,204"}};
    const bool large = env.widgetFamily == WidgetFamily::systemLarge;
    const bool small = env.widgetFamily == WidgetFamily::systemSmall;
    return VStack(
               {.alignment = HorizontalAlignment::leading, .spacing = small ? 0.0 : 8.0},
               {
                   HStack({.alignment = VerticalAlignment::firstTextBaseline},
                          {
                              Text("Garage battery").font(Font::headline).lineLimit(1),
                              Spacer(8),
                              Label("Charging", {.systemName = "bolt.fill"})
                                  .labelStyle(LabelStyle::titleAndIcon)
                                  .font(Font::caption)
                                  .foregroundStyle(Color::green),
                          }),
                   Spacer(4),
                   HStack(
                       {.alignment = VerticalAlignment::firstTextBaseline, .spacing = 6},
                       {
                           Text("100%")
                               .font(Font::system(small ? 38 : 32, FontWeight::semibold, FontDesign::rounded))
                               .minimumScaleFactor(0.6)
                               .lineLimit(1),
                           small
                               ? View()
                               : Text("13.5 kWh").font(Font::callout).foregroundStyle(ShapeStyle::secondary),
                           Spacer(0),
                       }),
                   Gauge(0.72, Color::green).padding(Edges::vertical, 4),
                   large ? std::optional<View>(
                               LazyVGrid({.columns = {GridItem{.alignment = Alignment::leading},
                                                      GridItem{.alignment = Alignment::leading}},
                                          .alignment = HorizontalAlignment::leading,
                                          .spacing = 8},
                                         {ForEach(readings, [](const Reading& r) { return r; })}))
                         : std::nullopt,
                   large
                       ? std::optional<View>(
                             Text("A longer note that wraps over two centred lines and shrinks when it must.")
                                 .font(Font::caption)
                                 .foregroundStyle(ShapeStyle::secondary)
                                 .multilineTextAlignment(TextAlignment::center)
                                 .minimumScaleFactor(0.7)
                                 .frame({.maxWidth = infinity}))
                       : std::nullopt,
                   Spacer(4),
                   HStack({.spacing = 4},
                          {
                              Label("Plugged in", {.systemName = "powerplug.fill"})
                                  .font(Font::caption)
                                  .foregroundStyle(Color::secondary),
                              Spacer(0),
                              Image({.systemName = "parkingsign.square"})
                                  .font(Font::caption)
                                  .foregroundStyle(Color::orange),
                              Image({.systemName = "steeringwheel"})
                                  .font(Font::caption)
                                  .foregroundStyle(Color::accentColor),
                              Text(now - 480, RelativeUnitsStyle::narrow)
                                  .font(Font::caption2)
                                  .foregroundStyle(ShapeStyle::tertiary)
                                  .lineLimit(1),
                          }),
               })
        .frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading});
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kelvoui-demo OUTDIR [png|svg|pdf|json]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string kind = argc > 2 ? argv[2] : "png";
  const OutputFormat format = parseOutputFormat(kind).value_or(OutputFormat::png);
  const double now = 1'780'000'000;
  for (const WidgetFamily family : offeredFamilies()) {
    for (const auto appearance : {Appearance::light, Appearance::dark}) {
      Environment env;
      env.widgetFamily = family;
      env.now = now;
      env.appearance = appearance;
      env.host.contentMargin = 16;  // as the modern host draws widgets
      const View content =
          View(HomeBattery{now})
              .widgetURL("kelvo://open")
              .containerBackground(ShapeStyle::fill.tertiary, ContainerBackgroundPlacement::widget);
      auto bytes = renderWidget(content, env, format);
      if (!bytes) {
        std::fprintf(stderr, "kelvoui-demo: %s\n", bytes.error().message.c_str());
        return 1;
      }
      const std::string path = dir + "/" + toString(family) + "-" +
                               (appearance == Appearance::dark ? "dark" : "light") + "." + kind;
      std::ofstream(path, std::ios::binary) << *bytes;
      std::printf("%s\n", path.c_str());
    }
  }
  return 0;
}
