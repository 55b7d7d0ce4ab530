#include "Drawing.h"

#include "KelvoShared/CurrentLocale.h"
#include "KelvoShared/Localization.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::host {

void addDrawingOptions(CLI::App& command, DrawingOptions& options) {
  command.add_option("--appearance", options.appearance, "light or dark; default light")
      ->option_text("light|dark")
      ->check(CLI::IsMember({"light", "dark"}));
  command.add_option("--scale", options.scale, "Pixels per point of PNG output; default 2")
      ->option_text("N")
      ->check(CLI::Range(0.25, 8.0));
  command.add_flag("--legacy-host", options.legacyHost,
                   "Draw as an older host does: no container background, no content margins");
}

ui::Environment drawingEnvironment(ui::WidgetFamily family, Date now, const DrawingOptions& options) {
  ui::Environment environment;
  environment.widgetFamily = family;
  environment.locale = currentLocale();
  // Mirrored when the texts are in a right-to-left language, whatever the
  // numbers follow: German texts with Arabic digits stay left to right.
  environment.layoutDirection = ui::layoutDirectionFor(textLanguage());
  environment.now = now.secondsSince1970;
  environment.appearance = options.appearance == "dark" ? ui::Appearance::dark : ui::Appearance::light;
  environment.host.containerBackground = options.legacyHost ? ui::ContainerBackgroundSupport::unsupported
                                                            : ui::ContainerBackgroundSupport::supported;
  return environment;
}

ui::Expected<std::string> drawEntry(const widget::CarEntry& entry, const ui::Environment& environment,
                                    ui::OutputFormat format, double scale) {
  return ui::renderWidget(widget::KelvoCarWidget::entryContent()(entry), environment, format, scale);
}

}  // namespace kelvo::host
