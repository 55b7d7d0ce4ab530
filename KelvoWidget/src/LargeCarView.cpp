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

View LargeCarView::body(const Environment& environment) const {
  const View registration =
      hasText(snapshot.registrationNo)
          ? View(Text(*snapshot.registrationNo).font(Font::caption2).foregroundStyle(ShapeStyle::tertiary))
          : EmptyView();
  const View picture = carImage ? View(Image(*carImage)
                                           .resizable()
                                           .scaledToFit()
                                           .frame({.maxWidth = infinity, .maxHeight = infinity})
                                           .accessibilityHidden(true))
                                : EmptyView();
  // Without a picture a spacer pushes the footer to the bottom; with one,
  // the picture takes the free height.
  const View footerGap = carImage ? EmptyView() : Spacer(0);

  return VStack(
             {.alignment = HorizontalAlignment::leading, .spacing = 8},
             {
                 HStack({.alignment = VerticalAlignment::firstTextBaseline},
                        {
                            VStack({.alignment = HorizontalAlignment::leading, .spacing = 1},
                                   {
                                       Text(DisplayRules::title(snapshot)).font(Font::headline).lineLimit(1),
                                       registration,
                                   }),
                            Spacer(8),
                            StatusLabel(snapshot),
                        }),
                 picture,
                 HStack({.alignment = VerticalAlignment::firstTextBaseline, .spacing = 6},
                        {
                            Text(DisplayRules::batteryPercentText(snapshot))
                                .font(Font::system(32, FontWeight::semibold, FontDesign::rounded))
                                .lineLimit(1),
                            Text(snapshot.rangeText())
                                .font(Font::callout)
                                .foregroundStyle(ShapeStyle::secondary),
                            Spacer(0),
                        }),
                 BatteryBar(DisplayRules::barFraction(snapshot), DisplayRules::batteryTint(snapshot)),
                 LazyVGrid(
                     {.columns = {GridItem{.size = GridItemSize::flexible(), .alignment = Alignment::leading},
                                  GridItem{.size = GridItemSize::flexible(),
                                           .alignment = Alignment::leading}},
                      .alignment = HorizontalAlignment::leading,
                      .spacing = 8},
                     {ForEach(fields(environment.locale), [](const Field& field) { return field; })}),
                 footerGap,
                 HStack({.alignment = VerticalAlignment::center, .spacing = 4},
                        {
                            // TRANSLATORS: Label before how long ago the car's data was updated, e.g.
                            // "Updated 8m ago".
                            Text(L("Updated")),
                            Text(DisplayRules::reportInstant(snapshot).secondsSince1970,
                                 RelativeUnitsStyle::abbreviated),
                        })
                     .font(Font::caption2)
                     .foregroundStyle(ShapeStyle::tertiary),
             })
      .frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading});
}

}  // namespace kelvo::widget
