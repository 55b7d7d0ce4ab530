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
View carView(const CarEntry::Car& car, WidgetFamily family) {
  switch (family) {
    case WidgetFamily::systemSmall:
      return SmallCarView{car.snapshot};
    case WidgetFamily::systemMedium:
      return MediumCarView{car.snapshot, car.carImage};
    case WidgetFamily::systemLarge:
    case WidgetFamily::systemExtraLarge:  // not offered; drawn like large
      return LargeCarView{car.snapshot, car.carImage};
  }
  unreachable(__func__);
}

View chooseContent(const CarEntry& entry, WidgetFamily family) {
  if (const auto* car = std::get_if<CarEntry::Car>(&entry.content)) return carView(*car, family);
  return NoData{*entry.problem()};
}

}  // namespace

View KelvoWidgetEntryView::body(const Environment& environment) const {
  return widgetBackground(Group(chooseContent(entry, environment.widgetFamily)).widgetURL(kOpenURL),
                          environment);
}

bool showsCarPicture(WidgetFamily family) {
  switch (family) {
    case WidgetFamily::systemSmall:
      return false;
    case WidgetFamily::systemMedium:
    case WidgetFamily::systemLarge:
    case WidgetFamily::systemExtraLarge:
      return true;
  }
  unreachable(__func__);
}

View widgetBackground(const View& content, const Environment& environment) {
  if (environment.hostDrawsContainerBackground()) {
    return content.containerBackground(ShapeStyle::fill.tertiary, ContainerBackgroundPlacement::widget);
  }
  return content.padding();
}

}  // namespace kelvo::widget
