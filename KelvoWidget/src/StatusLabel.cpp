#include "KelvoWidget/StatusLabel.h"

#include "KelvoUI/Elements.h"

namespace kelvo::widget {

using namespace kelvo::ui;

std::string StatusLabel::symbolName(const WidgetSnapshot& snapshot) {
  if (snapshot.isCharging()) return "bolt.fill";
  if (snapshot.isDriving) return "steeringwheel";
  if (snapshot.isPluggedIn.value_or(false)) return "powerplug.fill";
  return "parkingsign.square";
}

View StatusLabel::body() const {
  // statusText is already localised; the label shows it verbatim.
  return Label(snapshot.statusText(), SystemImage{symbolName(snapshot)})
      .labelStyle(LabelStyle::titleAndIcon)
      .font(Font::caption)
      .foregroundStyle(snapshot.isCharging() ? Color::green : Color::secondary);
}

}  // namespace kelvo::widget
