#pragma once

#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/View.h"

namespace kelvo::widget {

// The small face: model line, the percentage in large figures, the battery
// bar, the range, and the status row.
struct SmallCarView {
  static constexpr const char* name = "SmallCarView";

  WidgetSnapshot snapshot;  // the state to draw

  ui::View body() const;
};

}  // namespace kelvo::widget
