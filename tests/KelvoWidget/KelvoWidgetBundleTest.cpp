#include <gtest/gtest.h>

#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::widget {
namespace {

TEST(KelvoWidgetBundle, OneWidgetWithItsRegistration) {
  const std::vector<StaticConfiguration> widgets = KelvoWidgetBundle::body();
  ASSERT_EQ(widgets.size(), 1u);
  const StaticConfiguration& widget = widgets[0];
  EXPECT_EQ(widget.kind, "KelvoCar");
  EXPECT_EQ(widget.kind, KelvoCarWidget::kind);
  // No translation in the tests' "C" locale: the keys show as themselves.
  EXPECT_EQ(widget.configurationDisplayName, "Kelvo");
  EXPECT_EQ(widget.description, "Battery, range and charging status for your Volvo.");
  EXPECT_EQ(widget.supportedFamilies,
            (std::vector<ui::WidgetFamily>{ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium,
                                           ui::WidgetFamily::systemLarge}));
}

TEST(KelvoWidgetBundle, TheProviderGivenIsTheOneUsed) {
  const Date now{1'796'558'400};
  const StaticConfiguration widget =
      KelvoCarWidget::body(CarProvider(SharedStore(Platform{}), [now] { return now; }));
  EXPECT_EQ(widget.provider.placeholder({}).date, now);
}

}  // namespace
}  // namespace kelvo::widget
