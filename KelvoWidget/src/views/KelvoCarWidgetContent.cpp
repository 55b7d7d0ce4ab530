#include "KelvoWidget/KelvoWidgetBundle.h"
#include "KelvoWidget/KelvoWidgetEntryView.h"

namespace kelvo::widget {

// Each entry the host draws becomes a KelvoWidgetEntryView holding a copy of
// it; the family is read from the environment when it is laid out.
std::function<ui::View(const CarEntry&)> KelvoCarWidget::entryContent() {
  return [](const CarEntry& entry) { return ui::View(KelvoWidgetEntryView{entry}); };
}

}  // namespace kelvo::widget
