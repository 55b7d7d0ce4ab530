#include <gtest/gtest.h>

#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::widget {
namespace {

TEST(KelvoWidgetBundle, OneWidgetWithItsRegistrationAndTheGivenProvider) {
  const std::vector<StaticConfiguration> widgets = KelvoWidgetBundle::body();
  ASSERT_EQ(widgets.size(), 1u);
  EXPECT_EQ(widgets[0].kind, "KelvoCar");
  // No translation in the tests' "C" locale: the keys show as themselves.
  EXPECT_EQ(widgets[0].configurationDisplayName, "Kelvo");
  EXPECT_EQ(widgets[0].description, "Battery, range and charging status for your Volvo.");
  EXPECT_EQ(widgets[0].supportedFamilies,
            (std::vector<ui::WidgetFamily>{ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium,
                                           ui::WidgetFamily::systemLarge}));

  const Date now{1'796'558'400};
  const StaticConfiguration widget =
      KelvoCarWidget::body(CarProvider(SharedStore(Platform{}), [now] { return now; }));
  EXPECT_EQ(widget.provider.placeholder({}).date, now);
}

}  // namespace
}  // namespace kelvo::widget
