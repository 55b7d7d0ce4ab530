#pragma once

#include <string>

#include "KelvoUI/Style.h"
#include "KelvoUI/View.h"
#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

// Names the car's state: a symbol and the status text, green while charging.
struct StatusLabel : ui::ViewModifiers<StatusLabel> {
  static constexpr const char* name = "StatusLabel";

  explicit StatusLabel(const CarPresentation& car)
      : text(car.statusText), symbolName(car.symbolName), color(car.statusColor) {}

  std::string text;        // the status, already localised
  std::string symbolName;  // the system symbol before it
  ui::Color color;         // of both

  ui::View body() const;
};

}  // namespace kelvo::widget
