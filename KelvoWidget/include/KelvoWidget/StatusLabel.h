#pragma once

#include <string>

#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/View.h"

namespace kelvo::widget {

// Names the car's state: a symbol and the status text, green while charging.
struct StatusLabel : ui::ViewModifiers<StatusLabel> {
  static constexpr const char* name = "StatusLabel";

  explicit StatusLabel(WidgetSnapshot snapshot) : snapshot(std::move(snapshot)) {}

  WidgetSnapshot snapshot;  // the state to describe

  // "bolt.fill" charging, "steeringwheel" in use, "powerplug.fill" plugged
  // in, else "parkingsign.square".
  static std::string symbolName(const WidgetSnapshot& snapshot);

  ui::View body() const;
};

}  // namespace kelvo::widget
