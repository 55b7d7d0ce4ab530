#pragma once

#include <optional>
#include <string>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/View.h"
#include "KelvoWidget/CarPresentation.h"

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

  CarPresentation car;                 // the state to draw
  std::optional<ui::Bitmap> carImage;  // the prepared picture, when the face shows one

  ui::View body() const;
};

}  // namespace kelvo::widget
