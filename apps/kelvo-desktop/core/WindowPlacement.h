#pragma once

#include "DesktopSettings.h"

namespace kelvo::desktop {

// An output's rectangle, logical pixels in the display's coordinates.
struct Area {
  int x = 0, y = 0, width = 0, height = 0;
};

// Where the widget goes on an area.
struct WindowPlacement {
  int x = 0, y = 0;           // its top-left corner, in the display's coordinates
  Margin margin;              // the margin from the anchored edges that puts it there
  bool marginFitted = false;  // the wanted margin was cut down to keep the widget on the area
};

// The widget of `width` x `height` at `anchor` with `wanted` margins on
// `area`. Margins shrink (never below 0) so the widget stays on the area as
// far as it fits; a centred widget has no margins to shrink, and an area of
// no size (no output known) keeps them as asked.
WindowPlacement placeWidget(const Area& area, int width, int height, Anchor anchor, Margin wanted);

}  // namespace kelvo::desktop
