#include "KelvoWidget/StatusLabel.h"

#include "KelvoUI/Elements.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View StatusLabel::body() const {
  return Label(text, SystemImage{symbolName})
      .labelStyle(LabelStyle::titleAndIcon)
      .font(Font::caption)
      .foregroundStyle(color);
}

}  // namespace kelvo::widget
