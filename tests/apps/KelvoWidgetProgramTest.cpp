// `kelvo-widget` run as a host or a desktop script runs it: its requests,
// drawings, usage errors and memory.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <nlohmann/json.hpp>

#include "ProgramRunner.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Args = std::vector<std::string>;

const char* kCar =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,"isPluggedIn":true,)json"
    R"json("fullInMinutes":95,"chargingPowerWatts":11000,"carTitle":"EX30 · 2025","modelName":"EX30",)json"
    R"json("odometerKm":23412,"writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":true})json";

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

// A request's output: one JSON document and a newline, nothing on stderr.
Json request(const Args& args, const Scratch& scratch, ProgramRun* run = nullptr) {
  const ProgramRun done = runWidget(args, scratch);
  if (run != nullptr) *run = done;
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(done.err, "");
  EXPECT_TRUE(done.out.ends_with('\n')) << done.out;
  return Json::parse(done.out, nullptr, /*allow_exceptions=*/false);
}

TEST(KelvoWidgetRequests, InfoAndEachRequestForEachStoreState) {
  const ProgramRun info = runProgram("kelvo-widget", {"info"}, Scratch());
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_EQ(info.out,
            R"({"kind":"KelvoCar","displayName":"Kelvo","description":"Battery, range and charging )"
            R"(status for your Volvo.","supportedFamilies":["systemSmall","systemMedium","systemLarge"]})"
            "\n");
  // An entry at kWidgetNow without a picture.
  const auto entry = [](const std::string& snapshot, const std::string& problem) {
    return R"({"date":"2026-12-06T12:00:00.000Z","snapshot":)" + snapshot + R"(,"carImage":null,"problem":)" +
           problem + "}";
  };
  const std::string none = entry("null", R"({"case":"nothingPolledYet"})");
  const std::string zoned = "2026-12-06T13:00:00.25+01:00";  // dates come out in UTC with milliseconds
  const struct {
    Args args;
    const char* snapshot;  // snapshot.json, if any
    const char* pointer;   // to the part of the answer checked
    std::string expected;  // that part, as JSON
  } cases[] = {
      // clang-format off
      {{"placeholder", "--shared-dir", "/nonexistent"}, nullptr, "/snapshot/modelName", R"("Polestar 4")"},
      {{"timeline"}, nullptr, "", R"({"entries":[)" + none + R"(],"policy":{"after":"2026-12-06T12:15:00.000Z"}})"},
      {{"timeline", "--shared-dir", "/nonexistent"}, nullptr, "/entries/0/problem", R"({"case":"noContainer"})"},
      {{"timeline"}, "{\"batteryPercentage\":", "/entries/0/problem/case", R"("unreadable")"},
      {{"snapshot"}, nullptr, "", none},
      {{"snapshot", "--preview", "--family", "medium"}, nullptr, "/snapshot/modelName", R"("Polestar 4")"},
      {{"snapshot", "--preview"}, kCar, "", entry(kCar, "null")},  // hasImage, but no car.png
      {{"timeline", "--now", zoned}, kCar, "/entries/0/date", R"("2026-12-06T12:00:00.250Z")"},
      {{"timeline", "--now", zoned}, kCar, "/policy/after", R"("2026-12-06T12:15:00.250Z")"},
      // clang-format on
  };
  for (const auto& c : cases) {
    Scratch scratch;
    if (c.snapshot != nullptr) scratch.write("snapshot.json", c.snapshot);
    EXPECT_EQ(request(c.args, scratch)[Json::json_pointer(c.pointer)], Json::parse(c.expected))
        << c.args[0] << " " << c.args.back() << " " << c.pointer;
  }
}

// Each family's size and each format's drawing have their unit tests; here
// the options reach them and the drawing reaches standard output.
TEST(KelvoWidgetRender, FamilyScaleFormatAndHost) {
  const struct {
    Args args;
    const char* snapshot;
    std::vector<std::string> parts;  // what the output holds; a PNG's as "width×height"
  } cases[] = {
      {{"--family", "medium"}, kCar, {"728×340"}},  // two pixels a point
      {{"--family", "systemLarge", "--scale", "1"}, kCar, {"364×382"}},
      {{"--format", "svg"}, kCar, {"<svg", "kelvo://open"}},
      {{"--format", "pdf"}, kCar, {"%PDF-"}},
      {{"--format", "json", "--legacy-host"}, kCar, {R"("drawn":false)", R"("contentMargins":0.0)"}},
      {{"--format", "json", "--family", "medium", "--preview"}, nullptr, {"Polestar 4"}},
  };
  for (const auto& c : cases) {
    Scratch scratch;
    if (c.snapshot != nullptr) scratch.write("snapshot.json", c.snapshot);
    Args args = {"render"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = runWidget(args, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto [width, height] = pngSize(run.out);
    const std::string out = width > 0             ? std::to_string(width) + "×" + std::to_string(height)
                            : c.args[1] == "json" ? Json::parse(run.out).dump()
                                                  : run.out;
    for (const std::string& part : c.parts) {
      EXPECT_NE(out.find(part), std::string::npos) << c.args.back() << ": " << part;
    }
  }
}

TEST(KelvoWidgetRun, OnceDrawsEveryFamilyAndLogsEachRefresh) {
  Scratch scratch;
  scratch.write("snapshot.json", kCar);
  const fs::path out = scratch.root() / "widgets";
  const ProgramRun run = runWidget({"run", "--once", "--out-dir", out.string()}, scratch);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (const char* png : {"small.png", "medium.png", "large.png"})
    EXPECT_GT(pngSize(readFile(out / png)).first, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 3) << run.err;
  EXPECT_NE(run.err.find("drew medium (snapshot CHARGING)"), std::string::npos) << run.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3) << "a temporary file is left";
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

// Writes a photo-like picture (gradients and grain, so it compresses like a
// photo) to `file`. It is made in a child process: a spawned program's peak
// resident memory as wait4() reports it includes the parent's peak at the
// moment of spawning, so the test process itself must stay small.
bool writePicture(const fs::path& file, int width, int height, const char* type) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    if (pixbuf == nullptr) _exit(1);
    std::uint32_t seed = 7;
    for (int y = 0; y < height; ++y) {
      guint8* p =
          gdk_pixbuf_get_pixels(pixbuf) + static_cast<std::size_t>(y) * gdk_pixbuf_get_rowstride(pixbuf);
      for (int x = 0; x < width; ++x, p += 3) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = static_cast<int>((seed >> 24) % 9) - 4;
        p[0] = static_cast<guint8>(std::clamp(60 + 150 * x / width + grain, 0, 255));
        p[1] = static_cast<guint8>(std::clamp(90 + 100 * y / height + grain, 0, 255));
        p[2] = static_cast<guint8>(std::clamp(200 - 120 * y / height + grain, 0, 255));
      }
    }
    _exit(gdk_pixbuf_save(pixbuf, file.c_str(), type, nullptr, nullptr) ? 0 : 1);
  }
  int status = -1;  // not a normal exit, should waitpid fail
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The widget process stays under 30 MiB with a full-size camera picture (the
// decoder never holds it whole), with bytes after the picture's end (read in
// pieces, never further), and with a GIF declaring a huge screen (no car
// picture at all). Sanitizer builds shadow every allocation, so the figure
// means nothing there.
TEST(KelvoWidgetMemory, PicturesOfAnySizeStayUnder30MiB) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "peak memory is not meaningful under AddressSanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "peak memory is not meaningful under AddressSanitizer";
#endif
#endif
  Scratch scratch;
  scratch.write("snapshot.json", kCar);
  const fs::path picture = scratch.shared() / "car.png";
  // A 7000 × 7000 screen with one 1 × 1 frame: 35 bytes.
  const char gif[] =
      "GIF89a\x58\x1b\x58\x1b\x80\0\0\0\0\0\xff\xff\xff\x2c\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0\x3b";
  const auto padded = [&] {
    const bool made = writePicture(picture, 400, 300, "png");
    return made && (fs::resize_file(picture, fs::file_size(picture) + (60u << 20)), true);
  };
  const std::tuple<const char*, std::function<bool()>, const char*> cases[] = {
      {"png", [&] { return writePicture(picture, 4000, 3000, "png"); }, R"({"width":800,"height":600})"},
      {"jpeg", [&] { return writePicture(picture, 4000, 3000, "jpeg"); }, R"({"width":800,"height":600})"},
      {"padded", padded, R"({"width":400,"height":300})"},
      {"gif", [&] { return writeFile(picture, std::string_view(gif, sizeof gif - 1)), true; }, "null"}};
  for (const auto& [what, make, carImage] : cases) {
    ASSERT_TRUE(make()) << what;
    ProgramRun run;
    const Json entry = request({"timeline", "--family", "large"}, scratch, &run)["entries"][0];
    EXPECT_EQ(entry["carImage"].dump(), carImage) << what;
    EXPECT_FALSE(entry["snapshot"].is_null()) << what;
    EXPECT_LT(run.peakKiB, 30 * 1024) << what;
  }
}

}  // namespace
}  // namespace kelvo::testing
