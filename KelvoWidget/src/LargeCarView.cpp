#include "KelvoWidget/LargeCarView.h"

#include "KelvoShared/CarFormat.h"
#include "KelvoShared/Localization.h"
#include "KelvoUI/Elements.h"
#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/DisplayRules.h"
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

std::vector<Field> LargeCarView::fields(const icu::Locale& locale) const {
  std::vector<Field> list;
  if (snapshot.isCharging() && snapshot.fullInMinutes) {
    // TRANSLATORS: Label before the time left until the battery is full, e.g. "Full in 2h5m".
    list.push_back({L("Full in"), CarFormat::shortDuration(*snapshot.fullInMinutes)});
  }
  if (snapshot.chargingPowerWatts && *snapshot.chargingPowerWatts > 0) {
    // TRANSLATORS: Label of the charging power, e.g. "Power 7.4 kW".
    list.push_back({L("Power"), CarFormat::kilowatts(*snapshot.chargingPowerWatts, locale)});
  }
  if (snapshot.isPluggedIn) {
    // TRANSLATORS: Value of "Charger": the charging cable is plugged in.
    const std::string connected = L("Connected");
    // TRANSLATORS: Value of "Charger": the charging cable is not plugged in.
    const std::string disconnected = L("Disconnected");
    // TRANSLATORS: Label of whether the charging cable is plugged in.
    list.push_back({L("Charger"), *snapshot.isPluggedIn ? connected : disconnected});
  }
  if (snapshot.odometerKm) {
    // TRANSLATORS: Label of the car's total distance driven.
    list.push_back({L("Odometer"), CarFormat::distance(*snapshot.odometerKm, CarFormat::Grouping::grouped,
                                                       snapshot.unit, locale)});
  }
  return list;
}

namespace {

// The title and registration on the leading side, the status on the trailing.
View header(const WidgetSnapshot& snapshot) {
  const View registration =
      hasText(snapshot.registrationNo)
          ? View(Text(*snapshot.registrationNo).font(Font::caption2).foregroundStyle(ShapeStyle::tertiary))
          : EmptyView();
  const View titles = VStack({.alignment = HorizontalAlignment::leading, .spacing = 1},
                             {
                                 Text(DisplayRules::title(snapshot)).font(Font::headline).lineLimit(1),
                                 registration,
                             });
  return HStack({.alignment = VerticalAlignment::firstTextBaseline},
                {titles, Spacer(8), StatusLabel(snapshot)});
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
View percentageLine(const WidgetSnapshot& snapshot) {
  return HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 6},
                {
                    Text(DisplayRules::batteryPercentText(snapshot))
                        .font(Font::system(32, FontWeight::semibold, FontDesign::rounded))
                        .lineLimit(1),
                    Text(snapshot.rangeText()).font(Font::callout).foregroundStyle(ShapeStyle::secondary),
                    Spacer(0),
                });
}

// Two flexible columns of label-over-value details.
View detailGrid(std::vector<Field> fields) {
  const GridItem column{.size = GridItemSize::flexible(), .alignment = Alignment::leading};
  return LazyVGrid({.columns = {column, column}, .alignment = HorizontalAlignment::leading, .spacing = 8},
                   {ForEach(std::move(fields), [](const Field& field) { return field; })});
}

// "Updated 8 min. ago".
View footer(const WidgetSnapshot& snapshot) {
  return HStack({.alignment = VerticalAlignment::center, .spacing = 4},
                {
                    // TRANSLATORS: Label before how long ago the car's data was updated, e.g.
                    // "Updated 8m ago".
                    Text(L("Updated")),
                    Text(DisplayRules::reportInstant(snapshot).secondsSince1970,
                         RelativeUnitsStyle::abbreviated),
                })
      .font(Font::caption2)
      .foregroundStyle(ShapeStyle::tertiary);
}

}  // namespace

View LargeCarView::body(const Environment& environment) const {
  // Without a picture a spacer pushes the footer to the bottom; with one,
  // the picture takes the free height.
  const View footerGap = carImage ? EmptyView() : Spacer(0);
  return VStack({.alignment = HorizontalAlignment::leading, .spacing = 8},
                {
                    header(snapshot),
                    picture(carImage),
                    percentageLine(snapshot),
                    BatteryBar(DisplayRules::barFraction(snapshot), DisplayRules::batteryTint(snapshot)),
                    detailGrid(fields(environment.locale)),
                    footerGap,
                    footer(snapshot),
                })
      .frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading});
}

}  // namespace kelvo::widget
