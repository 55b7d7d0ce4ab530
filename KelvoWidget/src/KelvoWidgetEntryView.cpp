#include "KelvoWidget/KelvoWidgetEntryView.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/LargeCarView.h"
#include "KelvoWidget/MediumCarView.h"
#include "KelvoWidget/NoData.h"
#include "KelvoWidget/SmallCarView.h"

namespace kelvo::widget {

using namespace kelvo::ui;

namespace {

View chooseContent(const CarEntry& entry, WidgetFamily family) {
  if (entry.snapshot && family == WidgetFamily::systemSmall) return SmallCarView{*entry.snapshot};
  if (entry.snapshot && family == WidgetFamily::systemMedium)
    return MediumCarView{*entry.snapshot, entry.carImage};
  // Large, and any family the widget does not offer.
  if (entry.snapshot) return LargeCarView{*entry.snapshot, entry.carImage};
  return NoData{entry.problem.value_or(WidgetProblem{WidgetProblem::NothingPolledYet{}})};
}

}  // namespace

View KelvoWidgetEntryView::body(const Environment& environment) const {
  return widgetBackground(Group(chooseContent(entry, environment.widgetFamily)).widgetURL(kOpenURL),
                          environment);
}

View widgetBackground(const View& content, const Environment& environment) {
  if (environment.hostDrawsContainerBackground()) {
    return content.containerBackground(ShapeStyle::fill.tertiary, ContainerBackgroundPlacement::widget);
  }
  return content.padding();
}

}  // namespace kelvo::widget
