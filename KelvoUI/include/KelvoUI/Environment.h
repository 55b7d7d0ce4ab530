#pragma once

#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>
#include <string>

#include "KelvoUI/Geometry.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/WidgetFamily.h"

namespace kelvo::ui {

// Whether the host draws a widget container background (the modern host) or
// leaves the whole widget to its content (the older host).
enum class ContainerBackgroundSupport { supported, unsupported };

// What the host does around the widget's content, as the host program says:
// one that draws the container background keeps the content inside its
// margins; one that does not has no margins.
struct HostCapabilities {
  ContainerBackgroundSupport containerBackground = ContainerBackgroundSupport::supported;
  double contentMargin = 0;  // on every edge where the host draws the container background, points
};

// The direction of a language's script, from ICU's character orientation
// (Arabic and Hebrew run right to left).
LayoutDirection layoutDirectionFor(const icu::Locale& language);
const char* toString(LayoutDirection direction);

// Values passed down the whole tree while it is evaluated, laid out and drawn.
struct Environment {
  WidgetFamily widgetFamily = WidgetFamily::systemSmall;     // family of the placed widget
  icu::Locale locale = icu::Locale("en", "US");              // locale for numbers
  icu::Locale relativeTimeLocale = icu::Locale("en", "US");  // words and digits of relative times
  double now = 0;                                            // the moment of drawing, seconds since 1970
  Appearance appearance = Appearance::light;                 // light or dark colours
  Contrast contrast = Contrast::standard;                    // usual or increased colour contrast
  HostCapabilities host;                                     // what the host does around the content
  std::shared_ptr<const icu::TimeZone> timeZone;             // calendar zone for relative times; null = TZ
  LayoutDirection layoutDirection = LayoutDirection::leftToRight;  // of the texts' language

  bool hostDrawsContainerBackground() const {
    return host.containerBackground == ContainerBackgroundSupport::supported;
  }
};

}  // namespace kelvo::ui
