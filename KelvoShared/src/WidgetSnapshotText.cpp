#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {

std::string WidgetSnapshot::statusText() const {
  // TRANSLATORS: Shown instead of the charging state while the car is being driven.
  if (isDriving) return L("In use");
  return CarFormat::humanStatus(statusKey);
}

std::string WidgetSnapshot::rangeText() const {
  // Plain digits: the locale only matters for grouping, which is off.
  return CarFormat::distance(rangeKm, CarFormat::Grouping::plain, unit, icu::Locale::getRoot());
}

}  // namespace kelvo
