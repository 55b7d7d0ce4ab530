#pragma once

#include "KelvoUI/View.h"
#include "KelvoWidget/WidgetProblem.h"

namespace kelvo::widget {

// Why there is nothing to show: a symbol, a title and a subtitle, centred.
struct NoData {
  static constexpr const char* name = "NoData";

  WidgetProblem problem;  // the reason

  ui::View body() const;
};

}  // namespace kelvo::widget
