#include "KelvoWidget/BatteryBar.h"

#include <algorithm>
#include <cmath>

#include "KelvoUI/Elements.h"

namespace kelvo::widget {

using namespace kelvo::ui;

namespace {
constexpr double kHeight = 6;       // points
constexpr double kMinimumFill = 2;  // points, so an empty battery still shows
}  // namespace

double BatteryBar::fillWidth(double trackWidth, double fraction) {
  double raw = 0;
  if (fraction <= 0) {
    raw = 0;
  } else if (fraction > 1) {
    raw = trackWidth;
  } else {
    raw = trackWidth * fraction;
  }
  if (std::isnan(raw)) return kMinimumFill;
  return std::max(raw, kMinimumFill);
}

View BatteryBar::body() const {
  return GeometryReader([fraction = fraction, tint = tint](const GeometryProxy& geometry) {
           return ZStack({.alignment = Alignment::leading},
                         {
                             Capsule(RoundedCornerStyle::continuous).fill(ShapeStyle::quaternary),
                             Capsule(RoundedCornerStyle::continuous)
                                 .fill(tint)
                                 .frame({.width = fillWidth(geometry.size.width, fraction)}),
                         });
         })
      .frame({.height = kHeight})
      .accessibilityHidden(true);
}

}  // namespace kelvo::widget
