#include "KelvoWidget/PlaceholderSnapshot.h"

namespace kelvo::widget {

WidgetSnapshot PlaceholderSnapshot::make(Date firstUse) {
  WidgetSnapshot sample;
  sample.batteryPercentage = 78.0;
  sample.rangeKm = 412;
  sample.statusKey = "IDLE";
  sample.isDriving = false;
  sample.isPluggedIn = false;
  sample.carTitle = "Polestar 4 \u00B7 2026";
  sample.modelName = "Polestar 4";
  sample.odometerKm = 23412;
  sample.writtenAt = firstUse.addingTimeInterval(-kAge);
  sample.unit = DistanceUnit::kilometers;
  sample.hasImage = false;
  return sample;
}

const WidgetSnapshot& PlaceholderSnapshot::shared(const std::function<Date()>& clock) {
  // A function-local static is initialised exactly once; threads arriving
  // meanwhile wait for the finished value.
  static const WidgetSnapshot sample = make(clock ? clock() : Date::now());
  return sample;
}

}  // namespace kelvo::widget
