#pragma once

#include "KelvoUI/View.h"
#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

// The bottom row of the small and medium sizes: the status label, a gap, and
// the age of the data in narrow units ("8m ago").
ui::View statusRow(const CarPresentation& car);

}  // namespace kelvo::widget
