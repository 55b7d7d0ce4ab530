#include "Drawing.h"

#include "KelvoWidget/CarSummary.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::host {

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
