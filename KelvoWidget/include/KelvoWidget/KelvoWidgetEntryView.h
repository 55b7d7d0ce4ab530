#pragma once

#include "KelvoUI/Environment.h"
#include "KelvoUI/View.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::widget {

// The link that opens the companion program when the widget is clicked.
inline constexpr const char* kOpenURL = "kelvo://open";

// The top of the widget's tree: the layout for the placed family (or the
// no-data view), the deep link, and the widget background.
struct KelvoWidgetEntryView {
  static constexpr const char* name = "KelvoWidgetEntryView";

  CarEntry entry;  // the entry to draw; the family comes from the environment

  ui::View body(const ui::Environment& environment) const;
};

// The widget's chrome: the tertiary fill as container background where the
// host draws one (with the host's own margins), else default padding.
ui::View widgetBackground(const ui::View& content, const ui::Environment& environment);

}  // namespace kelvo::widget
