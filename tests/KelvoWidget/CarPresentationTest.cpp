#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KelvoWidget/BatteryBar.h"
#include "KelvoWidget/DisplayRules.h"
#include "KelvoWidget/StatusLabel.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using testing::Json;

WidgetSnapshot withBattery(double percent, std::string status = "IDLE") {
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.batteryPercentage = percent;
  snapshot.statusKey = std::move(status);
  return snapshot;
}

TEST(DisplayRules, PercentTextRoundsHalvesToEvenWithoutLocaleAndKeepsEveryDigit) {
  // clang-format off
  for (const auto& [value, text] : std::vector<std::pair<double, std::string>>{{80, "80%"}, {99.5, "100%"}, {98.5, "98%"},
           {72.4, "72%"}, {0, "0%"}, {12345, "12345%"} /* no grouping */, {1e22, "10000000000000000000000%"}}) {
    EXPECT_EQ(DisplayRules::batteryPercentText(withBattery(value)), text);
  }
  for (const auto& [value, digits, start] : std::vector<std::tuple<double, std::size_t, std::string>>{
           {1e300, 301, "1000000000000000052504760255204420248704"}, {-1e308, 310, "-1000000000000000010979063629440455417404"},
           {std::numeric_limits<double>::max(), 309, "17976931348623157"}}) {
    const std::string text = DisplayRules::batteryPercentText(withBattery(value));
    EXPECT_EQ(text.size(), digits + 1) << value;
    EXPECT_TRUE(text.starts_with(start) && text.ends_with("%")) << text;
  }
  // clang-format on
  // And the figure stays one line in every family.
  for (const auto family :
       {ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium, ui::WidgetFamily::systemLarge}) {
    const auto figures =
        testing::findAll(testing::dumpSnapshot(withBattery(1e308), family),
                         [](const Json& n) { return n.value("text", "").starts_with("1000000000"); });
    ASSERT_EQ(figures.size(), 1u) << ui::toString(family);
    EXPECT_TRUE(figures[0]["lines"] == 1 && figures[0]["truncated"] == true) << ui::toString(family);
  }
}

TEST(DisplayRules, TintIsGreenWhileChargingElseOrangeAtTwentyOrLess) {
  // clang-format off
  for (const auto& [percent, status, tint] : std::vector<std::tuple<double, std::string, std::string>>{{20, "IDLE", "orange"},
           {20.5, "IDLE", "accentColor"}, {5, "CHARGING", "green"}, {90, "SMART_CHARGING", "green"}, {NAN, "IDLE", "accentColor"}}) {
    EXPECT_EQ(DisplayRules::batteryTint(withBattery(percent, status)).name, tint) << percent << " " << status;
  }
  // clang-format on
}

TEST(BatteryBarFill, FollowsTheFractionWithinTheTrackAndKeepsASliver) {
  // clang-format off
  for (const auto& [track, fraction, width] : std::vector<std::array<double, 3>>{{120, 0.5, 60}, {120, 0, 2}, {120, -0.2, 2},
           {120, 1.3, 120}, {120, 1, 120}, {1.5, 0.5, 2} /* narrower than the sliver */, {120, NAN, 2}}) {
    EXPECT_DOUBLE_EQ(BatteryBar::fillWidth(track, fraction), width) << track << " " << fraction;
  }
  // clang-format on
}

TEST(StatusLabel, ShowsSymbolColourAndTextInTheCaptionStyle) {
  // clang-format off
  for (const auto& [statusKey, isDriving, isPluggedIn, symbol, colour, text] : std::vector<std::tuple<const char*, bool, std::optional<bool>, const char*, const char*, const char*>>{
           {"CHARGING", false, true, "bolt.fill", "green", "Charging"}, {"SMART_CHARGING", true, true, "bolt.fill", "green", "In use"},  // charging wins over driving
           {"IDLE", true, std::nullopt, "steeringwheel", "secondary", "In use"}, {"DONE", false, true, "powerplug.fill", "secondary", "Done"},
           {"IDLE", false, false, "parkingsign.square", "secondary", "Idle"}, {"IDLE", false, std::nullopt, "parkingsign.square", "secondary", "Idle"}}) {
    // clang-format on
    WidgetSnapshot snapshot = testing::sampleSnapshot();
    snapshot.statusKey = statusKey;
    snapshot.isDriving = isDriving;
    snapshot.isPluggedIn = isPluggedIn;
    const Json label =
        testing::namedView(testing::dumpSnapshot(snapshot, ui::WidgetFamily::systemSmall), "StatusLabel");
    const auto symbols = testing::findAll(label, [](const Json& n) { return n.contains("systemName"); });
    ASSERT_EQ(symbols.size(), 1u) << text;
    const Json title = testing::textNode(label, text);
    EXPECT_TRUE(symbols[0]["systemName"] == symbol && symbols[0]["foreground"] == colour) << text;
    EXPECT_TRUE(title["foreground"] == colour && title["font"]["style"] == "caption") << text;
  }
}

}  // namespace
}  // namespace kelvo::widget
