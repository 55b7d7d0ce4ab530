#pragma once

#include <string>

#include "KelvoUI/View.h"
#include "KelvoWidget/WidgetProblem.h"

namespace kelvo::widget {

// Why there is nothing to show: a symbol, a title and a subtitle, centred.
struct NoData {
  static constexpr const char* name = "NoData";

  WidgetProblem problem;  // the reason

  // What the face says, also for hosts that show it as text.
  struct Explanation {
    std::string symbol;    // the system symbol's name
    std::string title;     // the headline, localised where it is translated
    std::string subtitle;  // the line under it
  };
  static Explanation explain(const WidgetProblem& problem);

  ui::View body() const;
};

}  // namespace kelvo::widget
