#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/DisplayRules.h"
#include "KelvoWidget/StatusLabel.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using testing::sampleSnapshot;

WidgetSnapshot withBattery(double percent, std::string status = "IDLE") {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.batteryPercentage = percent;
  snapshot.statusKey = std::move(status);
  return snapshot;
}

TEST(DisplayRules, PercentTextRoundsHalvesToEvenWithoutLocale) {
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(80)), "80%");
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(99.5)), "100%");
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(98.5)), "98%");
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(72.4)), "72%");
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(0)), "0%");
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(100)), "100%");
  EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(12345)), "12345%");  // no grouping
}

TEST(DisplayRules, PercentTextHasEveryDigitOfAnyFiniteValue) {
  // {value, digits, starts with}
  const struct {
    double value;
    std::size_t digits;
    const char* start;
  } cases[] = {
      {1e300, 301, "1000000000000000052504760255204420248704"},
      {1e308, 309, "1000000000000000010979063629440455417404"},
      {-1e308, 310, "-1000000000000000010979063629440455417404"},
      {std::numeric_limits<double>::max(), 309, "17976931348623157"},
      {1e22, 23, "10000000000000000000000"},
  };
  for (const auto& c : cases) {
    const std::string text = DisplayRules::batteryPercentText(withBattery(c.value));
    EXPECT_EQ(text.size(), c.digits + 1) << c.value;
    EXPECT_TRUE(text.starts_with(c.start)) << text;
    EXPECT_TRUE(text.ends_with("%")) << text;
  }
}

TEST(DisplayRules, PercentFigureIsOneLineWhateverItsValue) {
  for (const auto family :
       {ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium, ui::WidgetFamily::systemLarge}) {
    const testing::Json widget = testing::dumpSnapshot(withBattery(1e308), family);
    const auto figures = testing::findAll(
        widget, [](const testing::Json& n) { return n.value("text", "").starts_with("1000000000"); });
    ASSERT_EQ(figures.size(), 1u) << ui::toString(family);
    EXPECT_EQ(figures[0]["lines"], 1) << ui::toString(family);
    EXPECT_EQ(figures[0]["truncated"], true) << ui::toString(family);
  }
}

TEST(DisplayRules, TintIsGreenWhileChargingElseOrangeAtTwentyOrLess) {
  EXPECT_EQ(DisplayRules::batteryTint(withBattery(20)).name, "orange");
  EXPECT_EQ(DisplayRules::batteryTint(withBattery(20.5)).name, "accentColor");
  EXPECT_EQ(DisplayRules::batteryTint(withBattery(5, "CHARGING")).name, "green");
  EXPECT_EQ(DisplayRules::batteryTint(withBattery(90, "SMART_CHARGING")).name, "green");
  EXPECT_EQ(DisplayRules::batteryTint(withBattery(std::nan(""))).name, "accentColor");
}

TEST(DisplayRules, ReportInstantPrefersTheCarsOwnReport) {
  WidgetSnapshot snapshot = sampleSnapshot();
  EXPECT_EQ(DisplayRules::reportInstant(snapshot), snapshot.writtenAt);
  snapshot.carReportedAt = Date{testing::kNow - 3600};
  EXPECT_EQ(DisplayRules::reportInstant(snapshot), Date{testing::kNow - 3600});
}

TEST(DisplayRules, TitleFallsBackToKelvoButNeverToTheModelName) {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.modelName = "Polestar 4";
  EXPECT_EQ(DisplayRules::title(snapshot), "Kelvo");
  snapshot.carTitle = "";
  EXPECT_EQ(DisplayRules::title(snapshot), "Kelvo");
  snapshot.carTitle = "My car";
  EXPECT_EQ(DisplayRules::title(snapshot), "My car");
}

TEST(BatteryBarFill, FollowsTheFractionWithinTheTrackAndKeepsASliver) {
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(120, 0.5), 60);
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(120, 0), 2);
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(120, -0.2), 2);
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(120, 1.3), 120);
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(120, 1), 120);
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(1.5, 0.5), 2);  // a slot narrower than the sliver
  EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(120, std::numeric_limits<double>::quiet_NaN()), 2);
}

struct StatusCase {
  const char* what;
  const char* statusKey;
  bool isDriving;
  std::optional<bool> isPluggedIn;
  const char* symbol;
  const char* colour;
  const char* text;
};

class StatusLabelTree : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusLabelTree, ShowsSymbolColourAndText) {
  const StatusCase& c = GetParam();
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.statusKey = c.statusKey;
  snapshot.isDriving = c.isDriving;
  snapshot.isPluggedIn = c.isPluggedIn;
  EXPECT_EQ(StatusLabel::symbolName(snapshot), c.symbol);

  const testing::Json label =
      testing::namedView(testing::dumpSnapshot(snapshot, ui::WidgetFamily::systemSmall), "StatusLabel");
  const std::vector<testing::Json> symbols =
      testing::findAll(label, [](const testing::Json& n) { return n.contains("systemName"); });
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0]["systemName"], c.symbol);
  EXPECT_EQ(symbols[0]["foreground"], c.colour);
  const testing::Json title = testing::textNode(label, c.text);
  EXPECT_EQ(title["foreground"], c.colour);
  EXPECT_EQ(title["font"]["style"], "caption");
}

INSTANTIATE_TEST_SUITE_P(
    States, StatusLabelTree,
    ::testing::Values(
        StatusCase{"charging", "CHARGING", false, true, "bolt.fill", "green", "Charging"},
        StatusCase{"smart charging while driving", "SMART_CHARGING", true, true, "bolt.fill", "green",
                   "In use"},
        StatusCase{"driving", "IDLE", true, std::nullopt, "steeringwheel", "secondary", "In use"},
        StatusCase{"plugged in", "DONE", false, true, "powerplug.fill", "secondary", "Done"},
        StatusCase{"unplugged", "IDLE", false, false, "parkingsign.square", "secondary", "Idle"},
        StatusCase{"plug unknown", "IDLE", false, std::nullopt, "parkingsign.square", "secondary", "Idle"}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name) {
        if (ch == ' ') ch = '_';
      }
      return name;
    });

}  // namespace
}  // namespace kelvo::widget
