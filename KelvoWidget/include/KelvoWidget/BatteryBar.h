#pragma once

#include "KelvoUI/Style.h"
#include "KelvoUI/View.h"

namespace kelvo::widget {

// A thin capsule gauge: a quaternary track with a tinted fill from the
// leading end. Takes the full width offered, 6 points tall.
struct BatteryBar : ui::ViewModifiers<BatteryBar> {
  static constexpr const char* name = "BatteryBar";

  BatteryBar(double fraction, ui::Color tint) : fraction(fraction), tint(std::move(tint)) {}

  double fraction;  // part to fill, 0 empty, 1 full; clamped only when drawn
  ui::Color tint;   // colour of the filled part

  // Width of the fill in a track `trackWidth` points wide: the fraction of
  // the track, clamped to it, and never less than a 2-point sliver.
  static double fillWidth(double trackWidth, double fraction);

  ui::View body() const;
};

}  // namespace kelvo::widget
