#include "KelvoWidget/StatusRow.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/StatusLabel.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View statusRow(const CarPresentation& car) {
  return HStack({.alignment = VerticalAlignment::center, .spacing = 4},
                {
                    StatusLabel(car),
                    Spacer(0),
                    // The age before the status: it is what tells stale data
                    // apart, and a long status reads fine cut.
                    Text(car.reportedAt.secondsSince1970, RelativeUnitsStyle::narrow)
                        .font(Font::caption2)
                        .foregroundStyle(ShapeStyle::tertiary)
                        .lineLimit(1)
                        .layoutPriority(1),
                });
}

}  // namespace kelvo::widget
