#include "HitTest.h"

#include <algorithm>
#include <cmath>

namespace kelvo::desktop {

bool hitsWidget(ui::Size widgetSize, double cornerRadius, ui::Point point) {
  const double w = widgetSize.width, h = widgetSize.height;
  if (!(point.x >= 0 && point.y >= 0 && point.x < w && point.y < h)) return false;
  const double r = std::clamp(cornerRadius, 0.0, std::min(w, h) / 2);
  // The nearest corner's circle centre; outside the corner squares the rectangle decides.
  const double cx = point.x < r ? r : point.x > w - r ? w - r : point.x;
  const double cy = point.y < r ? r : point.y > h - r ? h - r : point.y;
  return std::hypot(point.x - cx, point.y - cy) <= r;
}

}  // namespace kelvo::desktop
