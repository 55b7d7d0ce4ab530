#pragma once

#include <unicode/locid.h>

#include <optional>
#include <string>
#include <vector>

#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Environment.h"
#include "KelvoUI/View.h"

namespace kelvo::widget {

// One detail of the large face: a label over its value.
struct Field {
  static constexpr const char* name = "Field";

  std::string key;    // the label, already localised; also the identity
  std::string value;  // the value, already formatted

  const std::string& id() const { return key; }
  ui::View body() const;

  friend bool operator==(const Field&, const Field&) = default;
};

// The large face: header, picture, percentage line, bar, a two-column grid of
// details and the "Updated" footer.
struct LargeCarView {
  static constexpr const char* name = "LargeCarView";

  WidgetSnapshot snapshot;             // the state to draw
  std::optional<ui::Bitmap> carImage;  // the prepared picture, if any

  // The details the snapshot has, in order: "Full in" (charging), "Power"
  // (above 0 W), "Charger", "Odometer". Numbers follow `locale`.
  std::vector<Field> fields(const icu::Locale& locale) const;

  ui::View body(const ui::Environment& environment) const;
};

}  // namespace kelvo::widget
