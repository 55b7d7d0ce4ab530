// The status-bar line: which texts, class and colour a bar gets for a state.

#include <gtest/gtest.h>

#include <string>

#include "StatusLine.h"

namespace {

using namespace kelvo;
using kelvo::host::StatusFormat;
using kelvo::host::StatusOutput;

const Date kNow = *parseInternetDateTime("2026-12-06T12:00:00Z");

WidgetSnapshot parked(double percentage) {
  WidgetSnapshot snapshot;
  snapshot.batteryPercentage = percentage;
  snapshot.rangeKm = 318;
  snapshot.statusKey = "PARKED";
  snapshot.writtenAt = kNow.addingTimeInterval(-300);
  return snapshot;
}

widget::CarEntry entryOf(const WidgetSnapshot& snapshot) { return {kNow, snapshot}; }

host::StatusLine lineOf(const WidgetSnapshot& snapshot) {
  return host::statusLine(entryOf(snapshot), kNow, icu::Locale("en", "US"), icu::Locale("en", "US"));
}

struct SnapshotCase {
  const char* name;
  WidgetSnapshot snapshot;
  const char* text;
  const char* cssClass;
  int percentage;
  const char* i3blocks;
};

WidgetSnapshot with(WidgetSnapshot snapshot, auto change) {
  change(snapshot);
  return snapshot;
}

class StatusLineSnapshots : public ::testing::TestWithParam<SnapshotCase> {};

TEST_P(StatusLineSnapshots, TextClassPercentageAndBlock) {
  const SnapshotCase& c = GetParam();
  const host::StatusLine line = lineOf(c.snapshot);
  EXPECT_EQ(line.text, c.text);
  EXPECT_EQ(line.cssClass, c.cssClass);
  EXPECT_EQ(line.percentage, c.percentage);
  EXPECT_EQ(host::formatStatus(line, StatusFormat::i3blocks, StatusOutput::once), c.i3blocks);
  // A persistent i3blocks block reads each line as the full text.
  EXPECT_EQ(host::formatStatus(line, StatusFormat::i3blocks, StatusOutput::stream),
            std::string(c.text) + "\n");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, StatusLineSnapshots, ::testing::Values(
    SnapshotCase{"ChargingShowsTimeToFull", with(parked(64), [](auto& s) { s.statusKey = "CHARGING"; s.fullInMinutes = 95; }),
                 "64% · 318 km · Charging · 1h35m", "charging", 64, "64% · 318 km · Charging · 1h35m\n64% · 318 km\n#32d74b\n"},
    SnapshotCase{"ChargingWithoutTimeShowsAge", with(parked(10), [](auto& s) { s.statusKey = "SMART_CHARGING"; }),
                 "10% · 318 km · Smart charging · 5m ago", "charging", 10, "10% · 318 km · Smart charging · 5m ago\n10% · 318 km\n#32d74b\n"},
    SnapshotCase{"TwentyPercentIsLow", parked(20), "20% · 318 km · Parked · 5m ago", "low", 20,
                 "20% · 318 km · Parked · 5m ago\n20% · 318 km\n#ff9f0a\n"},
    SnapshotCase{"HalfRoundsToEvenAndIsNotLow", parked(20.5), "20% · 318 km · Parked · 5m ago", "idle", 20,
                 "20% · 318 km · Parked · 5m ago\n20% · 318 km\n#0a84ff\n"},
    SnapshotCase{"DrivingLowIsLow", with(parked(12), [](auto& s) { s.isDriving = true; }),
                 "12% · 318 km · In use · 5m ago", "low", 12, "12% · 318 km · In use · 5m ago\n12% · 318 km\n#ff9f0a\n"},
    SnapshotCase{"Driving", with(parked(55), [](auto& s) { s.isDriving = true; }),
                 "55% · 318 km · In use · 5m ago", "driving", 55, "55% · 318 km · In use · 5m ago\n55% · 318 km\n#0a84ff\n"},
    SnapshotCase{"OverFullIsClampedForTheBar", parked(104), "104% · 318 km · Parked · 5m ago", "idle", 100,
                 "104% · 318 km · Parked · 5m ago\n104% · 318 km\n#0a84ff\n"},
    SnapshotCase{"MilesAndTheCarsReportTime", with(parked(80), [](auto& s) { s.unit = DistanceUnit::miles; s.carReportedAt = kNow.addingTimeInterval(-7200); }),
                 "80% · 198 mi · Parked · 2h ago", "idle", 80, "80% · 198 mi · Parked · 2h ago\n80% · 198 mi\n#0a84ff\n"},
    SnapshotCase{"NewlineInStatusStaysOneLine", with(parked(80), [](auto& s) { s.statusKey = "ON\nHOLD"; }),
                 "80% · 318 km · On Hold · 5m ago", "idle", 80, "80% · 318 km · On Hold · 5m ago\n80% · 318 km\n#0a84ff\n"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(StatusLine, WaybarEscapesMarkupAndListsTheLargeFaceFields) {
  WidgetSnapshot snapshot = parked(64);
  snapshot.statusKey = "CHARGING";
  snapshot.fullInMinutes = 95;
  snapshot.chargingPowerWatts = 11000;
  snapshot.isPluggedIn = true;
  snapshot.odometerKm = 23412;
  snapshot.carTitle = "Tom & <Jerry>";
  snapshot.registrationNo = "AB\n123";
  EXPECT_EQ(
      host::formatStatus(lineOf(snapshot), StatusFormat::waybar, StatusOutput::stream),
      R"({"text":"64% · 318 km · Charging · 1h35m","tooltip":"Tom &amp; &lt;Jerry&gt;\nAB 123\nCharging\n)"
      R"(64% · 318 km\nFull in: 1h35m\nPower: 11 kW\nCharger: Connected\nOdometer: 23,412 km\n)"
      R"(Updated 5 min. ago","class":"charging","percentage":64})"
      "\n");
}

TEST(StatusLine, ProblemsHaveNoPercentageNorColour) {
  struct Case {
    widget::WidgetProblem problem;
    const char* waybar;
    const char* i3blocks;
  };
  const Case cases[] = {
      {{widget::WidgetProblem::NothingPolledYet{}},
       R"({"text":"No data yet","tooltip":"No data yet\nOpen Kelvo to sign in","class":"nodata"})",
       "No data yet\nNo data yet\n"},
      {{widget::WidgetProblem::NoContainer{}},
       R"({"text":"No container","tooltip":"No container\nThe App Group didn't resolve","class":"nodata"})",
       "No container\nNo container\n"},
      {{widget::WidgetProblem::Unreadable{"key \"rangeKm\": <missing>"}},
       R"({"text":"Can't read the snapshot","tooltip":"Can't read the snapshot\nkey \"rangeKm\": &lt;missing&gt;","class":"error"})",
       "Can't read the snapshot\nCan't read the snapshot\n"},
  };
  for (const Case& c : cases) {
    const host::StatusLine line =
        host::statusLine({kNow, c.problem}, kNow, icu::Locale("en", "US"), icu::Locale("en", "US"));
    EXPECT_EQ(host::formatStatus(line, StatusFormat::waybar, StatusOutput::once),
              std::string(c.waybar) + "\n");
    EXPECT_EQ(host::formatStatus(line, StatusFormat::i3blocks, StatusOutput::once), c.i3blocks);
  }
}

TEST(StatusLine, NextAgeTickIsTheNextWholeMinuteOfAge) {
  const Date reported = kNow;
  struct Case {
    double nowOffset;   // seconds after the report
    double tickOffset;  // the expected tick, seconds after the report
  };
  const Case cases[] = {
      {0, 60}, {0.5, 60}, {59.9, 60}, {60, 120}, {3599, 3600}, {-30, 0}, {-60, 0}, {-61, -60},
  };
  for (const Case& c : cases) {
    WidgetSnapshot snapshot = parked(50);
    snapshot.writtenAt = reported;
    const Date now = reported.addingTimeInterval(c.nowOffset);
    EXPECT_EQ(host::nextAgeTick(entryOf(snapshot), now).timeIntervalSince(reported), c.tickOffset)
        << "now at +" << c.nowOffset << " s";
  }
  const widget::CarEntry noData{kNow, widget::WidgetProblem{}};
  EXPECT_EQ(host::nextAgeTick(noData, kNow.addingTimeInterval(7)).timeIntervalSince(kNow), 67);
}

}  // namespace
