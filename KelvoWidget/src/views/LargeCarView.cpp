#include "KelvoWidget/LargeCarView.h"

#include "KelvoUI/Elements.h"
#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/StatusLabel.h"

namespace kelvo::widget {

using namespace kelvo::ui;

View Field::body() const {
  return VStack({.alignment = HorizontalAlignment::leading, .spacing = 1},
                {
                    Text(key).font(Font::caption2).foregroundStyle(ShapeStyle::tertiary),
                    Text(value).font(Font::callout).fontWeight(FontWeight::medium),
                });
}

namespace {

// The title and registration on the leading side, the status on the trailing.
View header(const CarPresentation& car) {
  const View registration =
      car.registrationNo
          ? View(Text(*car.registrationNo).font(Font::caption2).foregroundStyle(ShapeStyle::tertiary))
          : EmptyView();
  const View titles = VStack({.alignment = HorizontalAlignment::leading, .spacing = 1},
                             {
                                 Text(car.title).font(Font::headline).lineLimit(1),
                                 registration,
                             });
  return HStack({.alignment = VerticalAlignment::firstTextBaseline}, {titles, Spacer(8), StatusLabel(car)});
}

// The picture takes the free height.
View picture(const std::optional<Bitmap>& carImage) {
  if (!carImage) return EmptyView();
  return Image(*carImage)
      .resizable()
      .scaledToFit()
      .frame({.maxWidth = infinity, .maxHeight = infinity})
      .accessibilityHidden(true);
}

// "80%" in large rounded digits, then the range.
View percentageLine(const CarPresentation& car) {
  return HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 6},
                {
                    Text(car.percentText)
                        .font(Font::system(32, FontWeight::semibold, FontDesign::rounded))
                        .lineLimit(1),
                    Text(car.rangeText).font(Font::callout).foregroundStyle(ShapeStyle::secondary),
                    Spacer(0),
                });
}

// Two flexible columns of label-over-value details.
View detailGrid(const std::vector<Detail>& details) {
  std::vector<Field> fields;
  for (const Detail& detail : details) fields.push_back({detail.label, detail.value});
  const GridItem column{.size = GridItemSize::flexible(), .alignment = Alignment::leading};
  return LazyVGrid({.columns = {column, column}, .alignment = HorizontalAlignment::leading, .spacing = 8},
                   {ForEach(std::move(fields), [](const Field& field) { return field; })});
}

// "Updated 8 min. ago".
View footer(const CarPresentation& car) {
  return HStack({.alignment = VerticalAlignment::center, .spacing = 4},
                {
                    Text(car.updatedLabel),
                    Text(car.reportedAt.secondsSince1970, RelativeUnitsStyle::abbreviated),
                })
      .font(Font::caption2)
      .foregroundStyle(ShapeStyle::tertiary);
}

}  // namespace

View LargeCarView::body() const {
  // Without a picture a spacer pushes the footer to the bottom; with one,
  // the picture takes the free height.
  const View footerGap = carImage ? EmptyView() : Spacer(0);
  return VStack({.alignment = HorizontalAlignment::leading, .spacing = 8},
                {
                    header(car),
                    picture(carImage),
                    percentageLine(car),
                    BatteryBar(car.barFraction, car.tint),
                    detailGrid(car.details),
                    footerGap,
                    footer(car),
                })
      .frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading});
}

}  // namespace kelvo::widget
