#include <gtest/gtest.h>

#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::widget {
namespace {

TEST(KelvoWidgetBundle, OneWidgetWithTheGivenProvider) {
  EXPECT_EQ(KelvoWidgetBundle::body().size(), 1u);

  const Date now{1'796'558'400};
  const StaticConfiguration widget =
      KelvoCarWidget::body(CarProvider(SharedStore(Platform{}), [now] { return now; }));
  EXPECT_EQ(widget.provider.placeholder({}).date, now);
}

}  // namespace
}  // namespace kelvo::widget
