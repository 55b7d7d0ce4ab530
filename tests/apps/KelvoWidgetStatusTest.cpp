// `kelvo-widget status --watch` run as a bar runs it: a long-lived process
// whose lines are read as they come.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "ProgramRunner.h"

namespace {

using namespace kelvo::testing;
namespace fs = std::filesystem;

const char* kParked =
    R"json({"batteryPercentage":80,"rangeKm":400,"statusKey":"PARKED","isDriving":false,)json"
    R"json("writtenAt":"2026-12-06T11:55:00Z","unit":"Kilometers (km)","hasImage":false})json";
const char* kCharging =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,)json"
    R"json("fullInMinutes":95,"writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":false})json";

// Waits (up to 10 s) until `file` holds `expected`; returns what it holds.
std::string waitForContent(const fs::path& file, const std::string& expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string content = readFile(file);
  while (content != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    content = readFile(file);
  }
  return content;
}

// Replaces snapshot.json the way the writer does: a new file renamed over it.
void replaceSnapshot(const Scratch& scratch, const char* json) {
  scratch.write("snapshot.json.new", json);
  fs::rename(scratch.shared() / "snapshot.json.new", scratch.shared() / "snapshot.json");
}

TEST(KelvoWidgetStatus, WatchPrintsEachChangeOnceAndStopsOnSigterm) {
  for (const int stopSignal : {SIGTERM, SIGINT}) {
    Scratch scratch;
    const Started started =
        start("kelvo-widget", {"status", "--watch", "--shared-dir", scratch.shared(), "--now", kWidgetNow},
              scratch);
    std::string expected = "No data yet\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    scratch.write("snapshot.json", kParked);  // written in place
    expected += "80% · 400 km · Parked · 5m ago\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    replaceSnapshot(scratch, kParked);  // the same state again: nothing to print
    replaceSnapshot(scratch, kCharging);
    expected += "64% · 318 km · Charging · 1h35m\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    fs::remove(scratch.shared() / "snapshot.json");
    expected += "No data yet\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    kill(started.pid, stopSignal);
    const ProgramRun run = finish(started);
    EXPECT_EQ(run.exitCode, 0) << "signal " << stopSignal;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(KelvoWidgetStatus, WatchEndsQuietlyWithStatusOneWhenTheReaderGoes) {
  Scratch scratch;
  scratch.write("snapshot.json", kParked);
  int bar[2];
  ASSERT_EQ(pipe2(bar, O_CLOEXEC), 0);
  const Started started =
      start("kelvo-widget", {"status", "--watch", "--format", "waybar", "--shared-dir", scratch.shared()},
            scratch, Launch{{}, bar[1]});
  close(bar[1]);
  // The first line arrives, then the bar goes away; the next change is then
  // written to no one.
  char first[512];
  ASSERT_GT(read(bar[0], first, sizeof first), 0);
  EXPECT_EQ(std::string(first, 10), R"({"text":"8)");
  close(bar[0]);
  replaceSnapshot(scratch, kCharging);
  const ProgramRun run = finish(started);
  EXPECT_EQ(run.exitCode, 1) << "ended by signal " << run.signal;
  EXPECT_EQ(run.err, "");
}

}  // namespace
