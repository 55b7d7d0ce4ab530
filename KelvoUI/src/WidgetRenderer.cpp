#include "KelvoUI/WidgetRenderer.h"

#include "KelvoUI/Layout.h"

namespace kelvo::ui {

WidgetLayout layoutWidget(const View& content, const Environment& environment, TextMeasurer& measurer) {
  WidgetLayout l;
  l.environment = environment;
  l.widgetSize = widgetSize(environment.widgetFamily);
  l.contentRect = {0, 0, l.widgetSize.width, l.widgetSize.height};
  l.root = layoutView(content, l.contentRect, environment, measurer);
  return l;
}

Expected<WidgetLayout> layoutWidget(const View&, const Environment&) { return UiError{"not yet"}; }
Expected<std::string> renderLayout(const WidgetLayout&, OutputFormat, double) { return UiError{"not yet"}; }
Expected<std::string> renderWidget(const View&, const Environment&, OutputFormat, double) {
  return UiError{"not yet"};
}
nlohmann::json dumpTree(const LaidOutNode&, Appearance) { return nlohmann::json::object(); }
nlohmann::json dumpWidget(const WidgetLayout&) { return nlohmann::json::object(); }

}  // namespace kelvo::ui
