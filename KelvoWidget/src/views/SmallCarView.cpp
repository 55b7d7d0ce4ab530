#include "KelvoWidget/SmallCarView.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/StatusRow.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View SmallCarView::body() const {
  const View modelLine =
      car.modelName
          ? View(Text(*car.modelName).font(Font::caption).foregroundStyle(ShapeStyle::secondary).lineLimit(1))
          : EmptyView();

  return VStack({.alignment = HorizontalAlignment::leading, .spacing = 0},
                {
                    modelLine,
                    Spacer(4),
                    Text(car.percentText)
                        .font(Font::system(38, FontWeight::semibold, FontDesign::rounded))
                        .minimumScaleFactor(0.6)
                        .lineLimit(1),
                    BatteryBar(car.barFraction, car.tint).padding(Edges::vertical, 4),
                    Text(car.rangeText).font(Font::headline),
                    Spacer(4),
                    statusRow(car),
                })
      .frame({.maxWidth = infinity, .alignment = Alignment::leading});
}

}  // namespace kelvo::widget
