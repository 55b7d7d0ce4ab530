#include "WindowPlacement.h"

#include <algorithm>

namespace kelvo::desktop {

WindowPlacement placeWidget(const Area& area, int width, int height, Anchor anchor, Margin wanted) {
  Margin margin = wanted;
  if (anchor != Anchor::center && area.width > 0 && area.height > 0) {
    margin = {std::min(wanted.x, std::max(0, area.width - width)),
              std::min(wanted.y, std::max(0, area.height - height))};
  }
  const bool left = anchor == Anchor::topLeft || anchor == Anchor::bottomLeft;
  const bool right = anchor == Anchor::topRight || anchor == Anchor::bottomRight;
  const bool top = anchor == Anchor::topLeft || anchor == Anchor::topRight;
  const bool bottom = anchor == Anchor::bottomLeft || anchor == Anchor::bottomRight;
  const int x = left    ? area.x + margin.x
                : right ? area.x + area.width - width - margin.x
                        : area.x + (area.width - width) / 2;
  const int y = top      ? area.y + margin.y
                : bottom ? area.y + area.height - height - margin.y
                         : area.y + (area.height - height) / 2;
  return {x, y, margin, !(margin == wanted)};
}

}  // namespace kelvo::desktop
