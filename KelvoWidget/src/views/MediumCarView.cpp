#include "KelvoWidget/MediumCarView.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/StatusRow.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View MediumCarView::body() const {
  const View picture = carImage ? View(Image(*carImage)
                                           .resizable()
                                           .scaledToFit()
                                           .frame({.maxWidth = 150, .maxHeight = 104})
                                           .accessibilityHidden(true))
                                : EmptyView();

  return HStack(
             {.alignment = VerticalAlignment::center, .spacing = 14},
             {
                 picture,
                 VStack({.alignment = HorizontalAlignment::leading, .spacing = 2},
                        {
                            Text(car.title)
                                .font(Font::subheadline)
                                .fontWeight(FontWeight::semibold)
                                .lineLimit(1),
                            Spacer(2),
                            HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 6},
                                   {
                                       Text(car.percentText)
                                           .font(Font::system(30, FontWeight::semibold, FontDesign::rounded))
                                           .lineLimit(1)
                                           .minimumScaleFactor(0.7),
                                       Text(car.rangeText)
                                           .font(Font::callout)
                                           .foregroundStyle(ShapeStyle::secondary),
                                   }),
                            BatteryBar(car.barFraction, car.tint).padding(Edges::vertical, 3),
                            Spacer(2),
                            statusRow(car),
                        })
                     .frame({.maxWidth = infinity, .alignment = Alignment::leading}),
             })
      .frame({.maxWidth = infinity, .maxHeight = infinity});
}

}  // namespace kelvo::widget
