#pragma once

#include "KelvoShared/Date.h"
#include "KelvoUI/Environment.h"

namespace kelvo::widget {

// The modern host's content margin on every edge, points; the older host,
// which draws no container background, has none.
inline constexpr double kHostContentMargin = 16;

// The environment every host draws the widget in: the family, the moment and
// the appearance it chose, the modern host's container background and
// margins, and the user's locales from the process environment: numbers in
// the numeric locale, relative times in the texts' language, and the layout
// direction of that language (right to left for Arabic and Hebrew). A host
// drawing as the older one turns the container background off after.
ui::Environment hostEnvironment(ui::WidgetFamily family, Date now, ui::Appearance appearance);

}  // namespace kelvo::widget
