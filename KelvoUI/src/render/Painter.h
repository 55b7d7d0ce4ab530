#pragma once

#include <cairo.h>

#include "KelvoUI/LaidOutNode.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/WidgetRenderer.h"

namespace kelvo::ui {

// Draws a laid-out subtree into a context whose user space is widget points.
// Lines of text align by the layout's direction.
void paintNode(cairo_t* cr, const LaidOutNode& node, ColorScheme scheme, LayoutDirection direction,
               PangoTextMeasurer& text);

// Draws the whole widget: its rounded shape, the host's material, the
// container background when the host draws it, then the content (clipped to
// the shape).
void paintWidget(cairo_t* cr, const WidgetLayout& layout, PangoTextMeasurer& text);

}  // namespace kelvo::ui
