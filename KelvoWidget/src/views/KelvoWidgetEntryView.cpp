#include "KelvoWidget/KelvoWidgetEntryView.h"

#include "KelvoBase/Unreachable.h"
#include "KelvoUI/Elements.h"
#include "KelvoWidget/LargeCarView.h"
#include "KelvoWidget/MediumCarView.h"
#include "KelvoWidget/NoData.h"
#include "KelvoWidget/SmallCarView.h"

namespace kelvo::widget {

using namespace kelvo::ui;

namespace {

// The family's layout of the car's state.
View carView(const CarEntry::Car& car, const Environment& environment) {
  CarPresentation shown = CarPresentation::of(car, CarPresentation::Context::of(environment));
  const bool picture = shown.showsPicture;
  switch (environment.widgetFamily) {
    case WidgetFamily::systemSmall:
      return SmallCarView{std::move(shown)};
    case WidgetFamily::systemMedium:
      return MediumCarView{std::move(shown), picture ? car.carImage : std::nullopt};
    case WidgetFamily::systemLarge:
    case WidgetFamily::systemExtraLarge:  // not offered; drawn like large
      return LargeCarView{std::move(shown), picture ? car.carImage : std::nullopt};
  }
  unreachable(__func__);
}

View chooseContent(const CarEntry& entry, const Environment& environment) {
  if (const auto* car = std::get_if<CarEntry::Car>(&entry.content)) return carView(*car, environment);
  return NoData{*entry.problem()};
}

}  // namespace

View KelvoWidgetEntryView::body(const Environment& environment) const {
  return widgetBackground(Group(chooseContent(entry, environment)).widgetURL(kOpenURL), environment);
}

View widgetBackground(const View& content, const Environment& environment) {
  if (environment.hostDrawsContainerBackground()) {
    return content.containerBackground(ShapeStyle::fill.tertiary, ContainerBackgroundPlacement::widget);
  }
  return content.padding();
}

}  // namespace kelvo::widget
