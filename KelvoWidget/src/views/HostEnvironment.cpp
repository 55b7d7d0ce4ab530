#include "KelvoWidget/HostEnvironment.h"

#include "KelvoShared/CurrentLocale.h"
#include "KelvoShared/Localization.h"

namespace kelvo::widget {

ui::Environment hostEnvironment(ui::WidgetFamily family, Date now, ui::Appearance appearance) {
  ui::Environment environment;
  environment.widgetFamily = family;
  environment.locale = currentLocale();
  environment.relativeTimeLocale = relativeTimeLocale();
  // Mirrored when the texts are in a right-to-left language, whatever the
  // numbers follow: German texts with Arabic digits stay left to right.
  environment.layoutDirection = ui::layoutDirectionFor(textLanguage());
  environment.now = now.secondsSince1970;
  environment.appearance = appearance;
  environment.host = {ui::ContainerBackgroundSupport::supported, kHostContentMargin};
  return environment;
}

}  // namespace kelvo::widget
