#include <utility>

#include "Commands.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"

namespace kelvo::host {

ui::WidgetFamily RequestOptions::widgetFamily() const {
  return ui::parseFamily(family).value_or(ui::WidgetFamily::systemSmall);
}

widget::CarProvider::Clock RequestOptions::clock() const {
  if (now) {
    if (std::optional<Date> fixed = parseInternetDateTime(*now)) return [moment = *fixed] { return moment; };
  }
  return &Date::now;
}

widget::CarProvider RequestOptions::provider() const {
  SharedStore store(Platform::forSharedDirectory(sharedDir));
  return widget::CarProvider(std::move(store), clock());
}

}  // namespace kelvo::host
