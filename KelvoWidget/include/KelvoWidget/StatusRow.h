#pragma once

#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/View.h"

namespace kelvo::widget {

// The bottom row of the small and medium sizes: the status label, a gap, and
// the age of the data in narrow units ("8m ago").
ui::View statusRow(const WidgetSnapshot& snapshot);

}  // namespace kelvo::widget
