// `kelvo-widget render` and `run`, as a desktop script would use them.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ProgramRunner.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Args = std::vector<std::string>;

const char* kSnapshot =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,"isPluggedIn":true,)json"
    R"json("carTitle":"EX30","writtenAt":"2026-12-06T11:58:00Z","unit":"Kilometers (km)","hasImage":false})json";

// The PNG's width and height from its IHDR chunk, or 0 × 0 for no PNG.
std::pair<int, int> pngSize(const std::string& png) {
  const auto be32 = [&](std::size_t at) {
    int value = 0;
    for (std::size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<unsigned char>(png[i]);
    return value;
  };
  if (png.size() < 24 || !png.starts_with("\x89PNG\r\n\x1a\n")) return {0, 0};
  return {be32(16), be32(20)};
}

TEST(KelvoWidgetRender, DrawsEachFamilyAtTwoPixelsPerPointByDefault) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshot);
  const struct {
    Args args;
    int width, height;
  } cases[] = {{{"--family", "small"}, 340, 340},
               {{"--family", "medium"}, 728, 340},
               {{"--family", "large"}, 728, 764},
               {{"--family", "systemLarge"}, 728, 764}};
  for (const auto& c : cases) {
    Args args = {"render", "-o", (scratch.root() / "out.png").string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = runWidget(args, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(pngSize(readFile(scratch.root() / "out.png")), std::make_pair(c.width, c.height)) << c.args[1];
  }
  EXPECT_EQ(pngSize(runWidget({"render", "--family", "small", "--scale", "1"}, scratch).out),
            std::make_pair(170, 170))
      << "stdout without -o";
}

TEST(KelvoWidgetRender, EachFormatAndHost) {
  const struct {
    Args args;
    const char* snapshot;
    std::vector<std::string> parts;  // what the output holds
  } cases[] = {
      {{"--format", "svg"}, kSnapshot, {"<svg", "kelvo://open"}},
      {{"--format", "pdf"}, kSnapshot, {"%PDF-"}},
      {{"--format", "json", "--legacy-host"}, kSnapshot, {R"("drawn":false)", R"("contentMargins":0.0)"}},
      // A broken snapshot still draws the explanation, naming the key.
      {{"--format", "json"},
       R"({"batteryPercentage": "lots"})",
       {R"("view":"NoData")", "Can't read the snapshot", "batteryPercentage",
        R"("widgetURL":"kelvo://open")"}},
      {{"--format", "json", "--family", "medium", "--preview"}, nullptr, {"Polestar 4"}},
      {{"--format", "json", "--family", "medium"}, nullptr, {"No data yet"}},
  };
  for (const auto& c : cases) {
    Scratch scratch;
    if (c.snapshot != nullptr) scratch.write("snapshot.json", c.snapshot);
    Args args = {"render"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = runWidget(args, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string out = c.args[1] == "json" ? Json::parse(run.out).dump() : run.out;
    for (const std::string& part : c.parts) {
      EXPECT_NE(out.find(part), std::string::npos) << c.args.back() << ": " << part;
    }
  }
}

TEST(KelvoWidgetUsage, MistakesExitTwoWithOneLineAndHelpDoesNot) {
  Scratch scratch;
  const std::string noDir = "--shared-dir: needs a directory";
  // "" for any reason; NaN fails every comparison of a range check; the last --now has no zone.
  std::vector<std::pair<Args, std::string>> cases = {
      {{}, ""},
      {{"bogus"}, ""},
      {{"info", "extra"}, ""},
      {{"timeline", "--family", "huge"}, "huge"},
      {{"timeline", "--family", "accessoryCircular"}, ""},
      {{"timeline", "--frobnicate"}, ""},
      {{"snapshot", "--now", "yesterday"}, ""},
      {{"timeline", "--now", "2026-12-06T12:00:00"}, ""},
      {{"placeholder", "--shared-dir"}, ""},
      {{"timeline", "--shared-dir", ""}, noDir},
      {{"render", "--shared-dir", ""}, noDir},
      {{"run", "--shared-dir", "", "--out-dir", "/tmp"}, noDir},
      {{"render", "--format", "gif"}, ""},
      {{"render", "--appearance", "sepia"}, ""},
      {{"run"}, ""},
      {{"run", "--out-dir", "/nonexistent/kelvo", "--scale", "nan"}, ""}};
  for (const char* scale : {"nan", "-nan", "inf", "0", "-1", "8.01", "1e300", "2x", ""}) {
    cases.push_back({{"render", "--scale", scale}, ""});
  }
  for (const auto& [args, reason] : cases) {
    const ProgramRun run = runProgram("kelvo-widget", args, scratch);
    const std::string what = args.empty() ? "(nothing)" : args[0] + " ... " + args.back();
    EXPECT_EQ(run.exitCode, 2) << what;
    EXPECT_EQ(run.out, "") << what;
    EXPECT_TRUE(run.err.starts_with("kelvo-widget: ") && run.err.find(reason) != std::string::npos)
        << what << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << what << ": " << run.err;
  }
  const ProgramRun help = runProgram("kelvo-widget", {"snapshot", "--help"}, scratch);
  EXPECT_EQ(help.exitCode, 0);
  for (const char* word : {"--family", "--shared-dir", "--now", "--preview"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST(KelvoWidgetRun, OnceDrawsEveryFamilyAndLogsEachRefresh) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshot);
  const fs::path out = scratch.root() / "widgets";
  const ProgramRun run = runWidget({"run", "--once", "--out-dir", out.string()}, scratch);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(pngSize(readFile(out / "small.png")), std::make_pair(340, 340));
  EXPECT_EQ(pngSize(readFile(out / "medium.png")), std::make_pair(728, 340));
  EXPECT_EQ(pngSize(readFile(out / "large.png")), std::make_pair(728, 764));
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 3) << run.err;
  EXPECT_NE(run.err.find("drew medium (snapshot CHARGING)"), std::string::npos) << run.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3) << "a temporary file is left";
}

}  // namespace
}  // namespace kelvo::testing
