#pragma once

#include <optional>

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/Bitmap.h"
#include "KelvoWidget/WidgetProblem.h"

namespace kelvo::widget {

// One timeline entry. Exactly one of `snapshot` and `problem` is present in
// every entry the provider builds; `carImage` only with a snapshot.
struct CarEntry {
  Date date;                               // when the entry was built; its timeline date
  std::optional<WidgetSnapshot> snapshot;  // the car's state, or the sample car's
  std::optional<ui::Bitmap> carImage;      // the upright thumbnail, longer side <= 800 px
  std::optional<WidgetProblem> problem;    // why there is no snapshot
};

}  // namespace kelvo::widget
