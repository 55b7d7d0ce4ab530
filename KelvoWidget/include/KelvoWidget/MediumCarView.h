#pragma once

#include <optional>

#include "KelvoUI/Bitmap.h"
#include "KelvoUI/View.h"
#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

// The medium face: the car picture on the left when there is one, and a
// column with the title, percentage and range, the bar and the status row.
struct MediumCarView {
  static constexpr const char* name = "MediumCarView";

  CarPresentation car;                 // the state to draw
  std::optional<ui::Bitmap> carImage;  // the prepared picture, when the face shows one

  ui::View body() const;
};

}  // namespace kelvo::widget
