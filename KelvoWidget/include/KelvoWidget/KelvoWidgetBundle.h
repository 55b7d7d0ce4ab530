#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "KelvoUI/Environment.h"
#include "KelvoUI/View.h"
#include "KelvoWidget/CarEntry.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::widget {

// What the host needs to place one widget: its identity, where its entries
// come from, how each entry is drawn, and what the gallery shows.
struct StaticConfiguration {
  std::string kind;                                  // the widget's identity towards the host
  CarProvider provider;                              // source of placeholder, snapshot and timeline
  std::function<ui::View(const CarEntry&)> content;  // the view of one entry; family from the environment
  std::string configurationDisplayName;              // gallery name, localised
  std::string description;                           // gallery description, localised
  std::vector<ui::WidgetFamily> supportedFamilies;   // the offered families, in gallery order
};

// The one widget: the car's state in three sizes.
struct KelvoCarWidget {
  static constexpr std::string_view kind = "KelvoCar";

  // Built afresh on each call, so the texts follow the current localisation.
  // `provider` defaults to the process's own store and clock.
  static StaticConfiguration body(CarProvider provider = CarProvider());

  // The view of one entry, KelvoWidgetEntryView. KelvoCarWidget::body()
  // hands it to the host as `content`.
  static std::function<ui::View(const CarEntry&)> entryContent();
};

// The widget bundle the host loads: exactly one widget, KelvoCarWidget.
struct KelvoWidgetBundle {
  static std::vector<StaticConfiguration> body(CarProvider provider = CarProvider());
};

}  // namespace kelvo::widget
