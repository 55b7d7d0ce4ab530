#include "KelvoWidget/KelvoWidgetBundle.h"

#include "KelvoShared/Localization.h"

namespace kelvo::widget {

StaticConfiguration KelvoCarWidget::body(CarProvider provider) {
  StaticConfiguration configuration{
      .kind = std::string(kind),
      .provider = std::move(provider),
      .content = entryContent(),
      // A localisable key: shown as itself when there is no translation.
      // TRANSLATORS: The widget's name in the widget gallery (the product name).
      .configurationDisplayName = L("Kelvo"),
      // TRANSLATORS: The widget's description in the widget gallery.
      .description = L("Battery, range and charging status for your Volvo."),
      .supportedFamilies = ui::offeredFamilies(),
  };
  return configuration;
}

std::vector<StaticConfiguration> KelvoWidgetBundle::body(CarProvider provider) {
  std::vector<StaticConfiguration> widgets;
  widgets.push_back(KelvoCarWidget::body(std::move(provider)));
  return widgets;
}

}  // namespace kelvo::widget
