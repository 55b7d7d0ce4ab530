#include "Drawing.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "KelvoWidget/CarSummary.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::host {

namespace {

// Smaller scales draw widgets of a few pixels; larger ones allocate
// hundreds of megabytes for a picture nobody asked for.
constexpr double kMinimumScale = 0.25;
constexpr double kMaximumScale = 8.0;

std::string formatScale(double scale) {
  std::ostringstream text;
  text << scale;
  return text.str();
}

}  // namespace

std::optional<double> parseScale(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // "nan" and "inf" parse; every comparison with NaN is false, so the range
  // check alone would let it through.
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  if (value < kMinimumScale || value > kMaximumScale) return std::nullopt;
  return value;
}

void addDrawingOptions(CLI::App& command, DrawingOptions& options) {
  command.add_option("--appearance", options.appearance, "light or dark; default light")
      ->option_text("light|dark")
      ->check(CLI::IsMember({"light", "dark"}));
  command
      .add_option("--scale", options.scale,
                  "Pixels per point of PNG output, a number from " + formatScale(kMinimumScale) + " to " +
                      formatScale(kMaximumScale) + "; default 2")
      ->option_text("N")
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            if (parseScale(value)) return {};
            return "needs a number from " + formatScale(kMinimumScale) + " to " + formatScale(kMaximumScale) +
                   ", not \"" + value + "\"";
          },
          "N", "scale"));
  command.add_flag("--legacy-host", options.legacyHost,
                   "Draw as an older host does: no container background, no content margins");
}

ui::Environment drawingEnvironment(ui::WidgetFamily family, Date now, const DrawingOptions& options) {
  ui::Environment environment = widget::hostEnvironment(
      family, now, options.appearance == "dark" ? ui::Appearance::dark : ui::Appearance::light);
  environment.host.containerBackground = options.legacyHost ? ui::ContainerBackgroundSupport::unsupported
                                                            : ui::ContainerBackgroundSupport::supported;
  return environment;
}

Result<std::string> drawEntry(const widget::CarEntry& entry, const ui::Environment& environment,
                              ui::OutputFormat format, double scale) {
  Result<ui::WidgetLayout> laid =
      ui::layoutWidget(widget::KelvoCarWidget::entryContent()(entry), environment);
  if (!laid) return laid.error();
  ui::WidgetLayout layout = std::move(laid).value();
  if (format == ui::OutputFormat::svg)
    layout.accessibilityLabel =
        widget::spokenSummary(entry, widget::CarPresentation::Context::of(environment));
  return ui::renderLayout(layout, format, scale);
}

}  // namespace kelvo::host
