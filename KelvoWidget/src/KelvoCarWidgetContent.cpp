#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::widget {

// Where each entry meets its view: KelvoWidgetEntryView, wired in with the
// widget's views. Until then there is no content, and hosts that render must
// say so rather than draw something else.
std::function<ui::View(const CarEntry&)> KelvoCarWidget::entryContent() { return {}; }

}  // namespace kelvo::widget
