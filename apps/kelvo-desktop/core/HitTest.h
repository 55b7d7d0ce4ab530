#pragma once

#include "KelvoUI/Geometry.h"

namespace kelvo::desktop {

// True when the point (widget points from its top-left corner) lies on the
// widget: inside its rounded rectangle, not in the transparent corners.
bool hitsWidget(ui::Size widgetSize, double cornerRadius, ui::Point point);

}  // namespace kelvo::desktop
