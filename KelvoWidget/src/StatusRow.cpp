#include "KelvoWidget/StatusRow.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/DisplayRules.h"
#include "KelvoWidget/StatusLabel.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View statusRow(const WidgetSnapshot& snapshot) {
  return HStack({.alignment = VerticalAlignment::center, .spacing = 4},
                {
                    StatusLabel(snapshot),
                    Spacer(0),
                    Text(DisplayRules::reportInstant(snapshot).secondsSince1970, RelativeUnitsStyle::narrow)
                        .font(Font::caption2)
                        .foregroundStyle(ShapeStyle::tertiary)
                        .lineLimit(1),
                });
}

}  // namespace kelvo::widget
