#pragma once

#include <functional>

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::widget {

// The sample car shown while nothing else is ready and in the host's gallery.
class PlaceholderSnapshot {
 public:
  // How long before its first use the sample claims to have been written.
  static constexpr double kAge = 480;  // seconds

  // The sample as it is made at `firstUse`.
  static WidgetSnapshot make(Date firstUse);

  // The process's one sample: made on the first call, with `clock` read then,
  // exactly once even when first asked for from several threads at a time;
  // every later call returns the same value whatever its clock says.
  static const WidgetSnapshot& shared(const std::function<Date()>& clock);
};

}  // namespace kelvo::widget
