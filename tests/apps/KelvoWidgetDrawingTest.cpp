// `kelvo-widget render` and `run`, as a desktop script would use them.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "ProgramRunner.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr const char* kNow = "2026-12-06T12:00:00Z";
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

const char* kSnapshot =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,"isPluggedIn":true,)json"
    R"json("carTitle":"EX30","writtenAt":"2026-12-06T11:58:00Z","unit":"Kilometers (km)","hasImage":false})json";

// The PNG's size from its IHDR chunk.
std::pair<int, int> pngSize(const std::string& png) {
  auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  if (png.size() < 24 || png.compare(0, 8, kPngSignature) != 0) return {0, 0};
  return {be32(16), be32(20)};
}

TEST(KelvoWidgetRender, DrawsEachFamilyAtTwoPixelsPerPointByDefault) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshot);
  const std::string dir = scratch.shared().string();
  const struct {
    const char* family;
    int width, height;
  } cases[] = {{"small", 340, 340}, {"medium", 728, 340}, {"large", 728, 764}, {"systemLarge", 728, 764}};
  for (const auto& c : cases) {
    const fs::path file = scratch.root() / (std::string(c.family) + ".png");
    const ProgramRun run =
        runProgram("kelvo-widget",
                   {"render", "--shared-dir", dir, "--now", kNow, "--family", c.family, "-o", file}, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(pngSize(readFile(file)), std::make_pair(c.width, c.height)) << c.family;
  }

  const ProgramRun scaled = runProgram(
      "kelvo-widget", {"render", "--shared-dir", dir, "--now", kNow, "--family", "small", "--scale", "1"},
      scratch);
  EXPECT_EQ(pngSize(scaled.out), std::make_pair(170, 170)) << "stdout when no -o is given";
}

TEST(KelvoWidgetRender, ABrokenSnapshotStillDrawsTheExplanation) {
  Scratch scratch;
  scratch.write("snapshot.json", R"({"batteryPercentage": "lots"})");
  const ProgramRun run = runProgram(
      "kelvo-widget",
      {"render", "--shared-dir", scratch.shared().string(), "--now", kNow, "--format", "json"}, scratch);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json tree = Json::parse(run.out);
  EXPECT_EQ(tree["widgetURL"], "kelvo://open");
  const std::string dump = tree.dump();
  EXPECT_NE(dump.find("\"view\":\"NoData\""), std::string::npos);
  EXPECT_NE(dump.find("Can't read the snapshot"), std::string::npos);
  EXPECT_NE(dump.find("batteryPercentage"), std::string::npos) << "the message names the key";
}

TEST(KelvoWidgetRender, PreviewShowsTheSampleCarWhenThereIsNoData) {
  Scratch scratch;
  const std::vector<std::string> base = {"render", "--shared-dir", scratch.shared().string(),
                                         "--now",  kNow,           "--format",
                                         "json",   "--family",     "medium"};
  std::vector<std::string> preview = base;
  preview.push_back("--preview");
  EXPECT_NE(runProgram("kelvo-widget", preview, scratch).out.find("Polestar 4"), std::string::npos);
  EXPECT_NE(runProgram("kelvo-widget", base, scratch).out.find("No data yet"), std::string::npos);
}

TEST(KelvoWidgetRender, SvgLinksTheDrawingAndLegacyHostPads) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshot);
  const std::string dir = scratch.shared().string();
  const ProgramRun svg =
      runProgram("kelvo-widget", {"render", "--shared-dir", dir, "--now", kNow, "--format", "svg"}, scratch);
  ASSERT_EQ(svg.exitCode, 0) << svg.err;
  EXPECT_NE(svg.out.find("<svg"), std::string::npos);
  EXPECT_NE(svg.out.find("kelvo://open"), std::string::npos);

  const ProgramRun pdf =
      runProgram("kelvo-widget", {"render", "--shared-dir", dir, "--now", kNow, "--format", "pdf"}, scratch);
  EXPECT_EQ(pdf.out.compare(0, 5, "%PDF-"), 0);

  const ProgramRun legacy = runProgram(
      "kelvo-widget", {"render", "--shared-dir", dir, "--now", kNow, "--format", "json", "--legacy-host"},
      scratch);
  const Json tree = Json::parse(legacy.out);
  EXPECT_EQ(tree["root"]["type"], "Padding");
  EXPECT_EQ(tree["background"]["drawn"], false);
}

TEST(KelvoWidgetRender, UsageErrorsExitTwoWithAReason) {
  Scratch scratch;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"render", "--format", "gif"},
        {"render", "--family", "huge"},
        {"render", "--appearance", "sepia"},
        {"render", "--now", "yesterday"},
        {"run"},
        // Scales: NaN fails every comparison of a range check.
        {"render", "--scale", "nan"},
        {"render", "--scale", "-nan"},
        {"render", "--scale", "inf"},
        {"render", "--scale", "0"},
        {"render", "--scale", "-1"},
        {"render", "--scale", "8.01"},
        {"render", "--scale", "1e300"},
        {"render", "--scale", "2x"},
        {"render", "--scale", ""},
        {"run", "--out-dir", "/nonexistent/kelvo", "--scale", "nan"}}) {
    const ProgramRun run = runProgram("kelvo-widget", args, scratch);
    EXPECT_EQ(run.exitCode, 2) << args[1] << " " << args.back();
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.out, "");
  }
}

TEST(KelvoWidgetRun, OnceDrawsEveryFamilyAndLogsEachRefresh) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshot);
  const fs::path out = scratch.root() / "widgets";
  const ProgramRun run = runProgram(
      "kelvo-widget", {"run", "--once", "--out-dir", out.string(), "--shared-dir", scratch.shared().string()},
      scratch);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(pngSize(readFile(out / "small.png")), std::make_pair(340, 340));
  EXPECT_EQ(pngSize(readFile(out / "medium.png")), std::make_pair(728, 340));
  EXPECT_EQ(pngSize(readFile(out / "large.png")), std::make_pair(728, 764));
  std::size_t lines = 0;
  for (char c : run.err) lines += c == '\n';
  EXPECT_EQ(lines, 3u) << run.err;
  EXPECT_NE(run.err.find("drew medium (snapshot CHARGING)"), std::string::npos) << run.err;
  // Only the PNGs are left behind: no temporary files from the atomic replacement.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 3u);
}

TEST(KelvoWidgetRun, KeepsRunningUntilSigtermAndThenStopsCleanly) {
  Scratch scratch;
  const fs::path out = scratch.root() / "widgets";
  const Started started = start(
      "kelvo-widget",
      {"run", "--family", "small", "--out-dir", out.string(), "--shared-dir", scratch.shared().string()},
      scratch);
  ASSERT_GT(started.pid, 0);
  // Wait (bounded) for the first refresh, then ask it to stop.
  for (int i = 0; i < 200 && !fs::exists(out / "small.png"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(fs::exists(out / "small.png"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ::kill(started.pid, SIGTERM);
  const ProgramRun run = finish(started);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("drew small (no data (nothingPolledYet))"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("stopping"), std::string::npos);
}

}  // namespace
}  // namespace kelvo::testing
