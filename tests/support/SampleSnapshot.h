#pragma once

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::testing {

// The moment every suite calls "now": 2026-12-06T12:00:00Z.
inline constexpr Date kNow{1'796'558'400};

// One ordinary car for every suite: charging at home, written eight minutes
// before kNow. Suites change the fields their case is about.
inline WidgetSnapshot sampleSnapshot() {
  WidgetSnapshot snapshot;
  snapshot.batteryPercentage = 64;
  snapshot.rangeKm = 318;
  snapshot.statusKey = "CHARGING";
  snapshot.isPluggedIn = true;
  snapshot.carTitle = "Polestar 4 · 2026";
  snapshot.carReportedAt = Date{kNow.secondsSince1970 - 600};
  snapshot.writtenAt = Date{kNow.secondsSince1970 - 480};
  return snapshot;
}

}  // namespace kelvo::testing
