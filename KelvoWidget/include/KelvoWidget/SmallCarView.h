#pragma once

#include "KelvoUI/View.h"
#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

// The small face: model line, the percentage in large figures, the battery
// bar, the range, and the status row.
struct SmallCarView {
  static constexpr const char* name = "SmallCarView";

  CarPresentation car;  // the state to draw

  ui::View body() const;
};

}  // namespace kelvo::widget
