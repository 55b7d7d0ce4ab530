// The status-bar line: which texts, class and colour a bar gets for a state.

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "StatusLine.h"

namespace {

using namespace kelvo;
using kelvo::host::StatusFormat;
using kelvo::host::StatusOutput;

const Date kNow = *parseInternetDateTime("2026-12-06T12:00:00Z");
const icu::Locale kUS("en", "US");

// A car written five minutes ago (or `ageSeconds` ago) with 318 km of range.
struct Car {
  double percentage;
  std::string status = "PARKED";
  bool driving = false;
  std::optional<std::int64_t> fullInMinutes{};
  bool milesReportedTwoHoursAgo = false;
  double ageSeconds = 300;
};

WidgetSnapshot snapshotOf(const Car& car) {
  WidgetSnapshot snapshot;
  snapshot.batteryPercentage = car.percentage;
  snapshot.rangeKm = 318;
  snapshot.statusKey = car.status;
  snapshot.isDriving = car.driving;
  snapshot.fullInMinutes = car.fullInMinutes;
  snapshot.writtenAt = kNow.addingTimeInterval(-car.ageSeconds);
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
  const double stale = 36 * 86400;
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
      {car({80, "PARKED", false, {}, true}), "80% · 198 mi · Parked · 2h ago\n80% · 198 mi\n#064f99\n", "idle", 80, nullptr},  // stale: dimmed
      // Stale data shows its age, not the time to full; Waybar gets a second class, i3blocks a dimmed colour.
      {car({64, "CHARGING", false, 95, false, stale}), "64% · 318 km · Charging · 1mo ago\n64% · 318 km\n#1e812d\n", "charging", 64,
       R"({"text":"64% · 318 km · Charging · 1mo ago","tooltip":"Kelvo\nCharging\n64% · 318 km\nFull in: 1h35m\nUpdated 1 mo. ago","class":["charging","stale"],"percentage":64})"},
      {car({64, "CHARGING", false, 95, false, 1799}), "64% · 318 km · Charging · 1h35m\n64% · 318 km\n#32d74b\n", "charging", 64, nullptr},
      {car({15, "IDLE", false, {}, false, 1800}), "15% · 318 km · Idle · 30m ago\n15% · 318 km\n#995f06\n", "low", 15, nullptr},
      // A duration the widget would not show (its bounds are the presentation's) gives the age.
      {car({64, "CHARGING", false, 0}), "64% · 318 km · Charging · 5m ago\n64% · 318 km\n#32d74b\n", "charging", 64, nullptr},
      // Nothing that steers a terminal or the text's direction gets through.
      {car({80, "ON\nHOLD"}), "80% · 318 km · On Hold · 5m ago\n80% · 318 km\n#0a84ff\n", "idle", 80, nullptr},
      {car({80, "A\u202e\u2066B\u200f\u061c\u009b\x1b[2J\x7f"}), "80% · 318 km · Ab[2j · 5m ago\n80% · 318 km\n#0a84ff\n", "idle", 80, nullptr},
      // Problems have no percentage nor colour.
      {problem({WidgetProblem::NothingPolledYet{}}), "No data yet\nNo data yet\n", "nodata", {}, R"({"text":"No data yet","tooltip":"No data yet\nOpen Kelvo to sign in","class":"nodata"})"},
      {problem({WidgetProblem::NoContainer{}}), "No container\nNo container\n", "nodata", {}, R"({"text":"No container","tooltip":"No container\nThe App Group didn&#39;t resolve","class":"nodata"})"},
      {problem({WidgetProblem::Unreadable{"key \"rangeKm\": <missing>"}}), "Can't read the snapshot\nCan't read the snapshot\n", "error", {}, R"({"text":"Can&#39;t read the snapshot","tooltip":"Can&#39;t read the snapshot\nkey &quot;rangeKm&quot;: &lt;missing&gt;","class":"error"})"},
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

TEST(StatusLine, EveryTextIsCutToWhatABarShowsWhateverTheSnapshotHolds) {
  std::string marks = "e", devanagari;  // one character of 100,000 marks; 1 MiB of conjuncts
  for (int i = 0; i < 100000; ++i) marks += "\u0301";
  while (devanagari.size() < (1 << 20)) devanagari += "\u0915\u094d\u0937";
  for (const std::string& text : {std::string(1 << 20, '&'), std::string(1 << 19, '\n'), marks, devanagari}) {
    WidgetSnapshot snapshot = snapshotOf({64, "CHARGING", false, INT64_MIN});
    snapshot.carTitle = snapshot.registrationNo = snapshot.statusKey = text;
    snapshot.odometerKm = snapshot.chargingPowerWatts = snapshot.rangeKm = INT64_MAX;
    const host::StatusLine line = lineOf({kNow, snapshot});
    const std::string waybar = host::formatStatus(line, StatusFormat::waybar, StatusOutput::once);
    EXPECT_TRUE(line.text.size() <= 4 * host::kStatusTextBytes + 12 &&
                line.tooltip.size() <= 12 * host::kStatusTextBytes && waybar.size() <= 5 * 1024)
        << line.text.size() << " " << line.tooltip.size() << " " << waybar.size();
    EXPECT_TRUE(line.text.find('\n') == std::string::npos && line.text.find("…") != std::string::npos)
        << line.text;
    EXPECT_TRUE(nlohmann::json::accept(waybar)) << waybar;
  }
}

}  // namespace
