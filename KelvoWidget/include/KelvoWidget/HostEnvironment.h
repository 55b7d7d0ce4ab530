#pragma once

#include "KelvoShared/Date.h"
#include "KelvoUI/Environment.h"

namespace kelvo::widget {

// The environment every host draws the widget in: the family, the moment and
// the appearance it chose, and the user's locales from the process
// environment: numbers in the numeric locale, relative times in the texts'
// language, and the layout direction of that language (right to left for
// Arabic and Hebrew). Hosts adjust the rest (container background) after.
ui::Environment hostEnvironment(ui::WidgetFamily family, Date now, ui::Appearance appearance);

}  // namespace kelvo::widget
