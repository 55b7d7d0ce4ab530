#include "KelvoWidget/SmallCarView.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/DisplayRules.h"
#include "KelvoWidget/StatusRow.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View SmallCarView::body() const {
  const View modelLine = hasText(snapshot.modelName) ? View(Text(*snapshot.modelName)
                                                                .font(Font::caption)
                                                                .foregroundStyle(ShapeStyle::secondary)
                                                                .lineLimit(1))
                                                     : EmptyView();

  return VStack({.alignment = HorizontalAlignment::leading, .spacing = 0},
                {
                    modelLine,
                    Spacer(4),
                    Text(DisplayRules::batteryPercentText(snapshot))
                        .font(Font::system(38, FontWeight::semibold, FontDesign::rounded))
                        .minimumScaleFactor(0.6)
                        .lineLimit(1),
                    BatteryBar(DisplayRules::barFraction(snapshot), DisplayRules::batteryTint(snapshot))
                        .padding(Edges::vertical, 4),
                    Text(snapshot.rangeText()).font(Font::headline),
                    Spacer(4),
                    statusRow(snapshot),
                })
      .frame({.maxWidth = infinity, .alignment = Alignment::leading});
}

}  // namespace kelvo::widget
