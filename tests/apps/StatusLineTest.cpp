// The status-bar line: which texts, class and colour a bar gets for a state.

#include <gtest/gtest.h>

#include <string>

#include "StatusLine.h"

namespace {

using namespace kelvo;
using kelvo::host::StatusFormat;
using kelvo::host::StatusOutput;

const Date kNow = *parseInternetDateTime("2026-12-06T12:00:00Z");
const icu::Locale kUS("en", "US");

// A car written five minutes ago with 318 km of range.
struct Car {
  double percentage;
  const char* status = "PARKED";
  bool driving = false;
  std::optional<int> fullInMinutes{};
  bool milesReportedTwoHoursAgo = false;
};

WidgetSnapshot snapshotOf(const Car& car) {
  WidgetSnapshot snapshot;
  snapshot.batteryPercentage = car.percentage;
  snapshot.rangeKm = 318;
  snapshot.statusKey = car.status;
  snapshot.isDriving = car.driving;
  snapshot.fullInMinutes = car.fullInMinutes;
  snapshot.writtenAt = kNow.addingTimeInterval(-300);
  if (car.milesReportedTwoHoursAgo) {
    snapshot.unit = DistanceUnit::miles;
    snapshot.carReportedAt = kNow.addingTimeInterval(-7200);
  }
  return snapshot;
}

host::StatusLine lineOf(const widget::CarEntry& entry) { return host::statusLine(entry, kNow, kUS, kUS); }

TEST(StatusLine, TextClassPercentageAndBlock) {
  using widget::WidgetProblem;
  const auto car = [](const Car& car) { return widget::CarEntry{kNow, snapshotOf(car)}; };
  const auto problem = [](WidgetProblem problem) { return widget::CarEntry{kNow, problem}; };
  const struct {
    widget::CarEntry entry;
    const char* i3blocks;  // full text, short text, colour
    const char* cssClass;
    std::optional<int> percentage;
    const char* waybar;  // checked when given
  } cases[] = {
      // clang-format off
      {car({64, "CHARGING", false, 95}), "64% · 318 km · Charging · 1h35m\n64% · 318 km\n#32d74b\n", "charging", 64, nullptr},
      {car({10, "SMART_CHARGING"}), "10% · 318 km · Smart charging · 5m ago\n10% · 318 km\n#32d74b\n", "charging", 10, nullptr},
      {car({20}), "20% · 318 km · Parked · 5m ago\n20% · 318 km\n#ff9f0a\n", "low", 20, nullptr},
      {car({20.5}), "20% · 318 km · Parked · 5m ago\n20% · 318 km\n#0a84ff\n", "idle", 20, nullptr},  // half to even, not low
      {car({12, "PARKED", true}), "12% · 318 km · In use · 5m ago\n12% · 318 km\n#ff9f0a\n", "low", 12, nullptr},
      {car({55, "PARKED", true}), "55% · 318 km · In use · 5m ago\n55% · 318 km\n#0a84ff\n", "driving", 55, nullptr},
      {car({104}), "104% · 318 km · Parked · 5m ago\n104% · 318 km\n#0a84ff\n", "idle", 100, nullptr},  // clamped for the bar
      {car({80, "PARKED", false, {}, true}), "80% · 198 mi · Parked · 2h ago\n80% · 198 mi\n#0a84ff\n", "idle", 80, nullptr},
      {car({80, "ON\nHOLD"}), "80% · 318 km · On Hold · 5m ago\n80% · 318 km\n#0a84ff\n", "idle", 80, nullptr},
      // Problems have no percentage nor colour.
      {problem({WidgetProblem::NothingPolledYet{}}), "No data yet\nNo data yet\n", "nodata", {}, R"({"text":"No data yet","tooltip":"No data yet\nOpen Kelvo to sign in","class":"nodata"})"},
      {problem({WidgetProblem::NoContainer{}}), "No container\nNo container\n", "nodata", {}, R"({"text":"No container","tooltip":"No container\nThe App Group didn't resolve","class":"nodata"})"},
      {problem({WidgetProblem::Unreadable{"key \"rangeKm\": <missing>"}}), "Can't read the snapshot\nCan't read the snapshot\n", "error", {}, R"({"text":"Can't read the snapshot","tooltip":"Can't read the snapshot\nkey \"rangeKm\": &lt;missing&gt;","class":"error"})"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string text = std::string(c.i3blocks).substr(0, std::string(c.i3blocks).find('\n'));
    const host::StatusLine line = lineOf(c.entry);
    EXPECT_EQ(line.text, text);
    EXPECT_EQ(line.cssClass, c.cssClass) << text;
    EXPECT_EQ(line.percentage, c.percentage) << text;
    EXPECT_EQ(host::formatStatus(line, StatusFormat::i3blocks, StatusOutput::once), c.i3blocks);
    // A persistent i3blocks block reads each line as the full text.
    EXPECT_EQ(host::formatStatus(line, StatusFormat::i3blocks, StatusOutput::stream), text + "\n");
    if (c.waybar != nullptr) {
      EXPECT_EQ(host::formatStatus(line, StatusFormat::waybar, StatusOutput::once),
                std::string(c.waybar) + "\n");
    }
  }
}

TEST(StatusLine, WaybarEscapesMarkupAndListsTheLargeFaceFields) {
  WidgetSnapshot snapshot = snapshotOf({64, "CHARGING", false, 95});
  snapshot.chargingPowerWatts = 11000;
  snapshot.isPluggedIn = true;
  snapshot.odometerKm = 23412;
  snapshot.carTitle = "Tom & <Jerry>";
  snapshot.registrationNo = "AB\n123";
  EXPECT_EQ(
      host::formatStatus(lineOf({kNow, snapshot}), StatusFormat::waybar, StatusOutput::stream),
      R"({"text":"64% · 318 km · Charging · 1h35m","tooltip":"Tom &amp; &lt;Jerry&gt;\nAB 123\nCharging\n)"
      R"(64% · 318 km\nFull in: 1h35m\nPower: 11 kW\nCharger: Connected\nOdometer: 23,412 km\n)"
      R"(Updated 5 min. ago","class":"charging","percentage":64})"
      "\n");
}

TEST(StatusLine, NextAgeTickIsTheNextWholeMinuteOfAge) {
  // Seconds after the report: now, and the expected tick.
  const std::pair<double, double> cases[] = {{0, 60},      {0.5, 60}, {59.9, 60}, {60, 120},
                                             {3599, 3600}, {-30, 0},  {-60, 0},   {-61, -60}};
  WidgetSnapshot snapshot = snapshotOf({50});
  snapshot.writtenAt = kNow;
  for (const auto& [now, tick] : cases) {
    EXPECT_EQ(host::nextAgeTick({kNow, snapshot}, kNow.addingTimeInterval(now)).timeIntervalSince(kNow), tick)
        << "now at +" << now << " s";
  }
  const widget::CarEntry noData{kNow, widget::WidgetProblem{}};
  EXPECT_EQ(host::nextAgeTick(noData, kNow.addingTimeInterval(7)).timeIntervalSince(kNow), 67);
}

}  // namespace
