// `kelvo-widget` answering the host's requests, run as a user would run it.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramRunner.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr const char* kNow = "2026-12-06T12:00:00Z";

using namespace kelvo::testing;

// A request against the scratch's shared directory at kNow; its output must
// be one JSON document and a newline.
Json request(std::vector<std::string> args, const Scratch& scratch, ProgramRun* run = nullptr) {
  if (std::find(args.begin(), args.end(), "--shared-dir") == args.end())
    args.insert(args.end(), {"--shared-dir", scratch.shared().string()});
  if (std::find(args.begin(), args.end(), "--now") == args.end()) args.insert(args.end(), {"--now", kNow});
  const ProgramRun done = runProgram("kelvo-widget", args, scratch);
  if (run != nullptr) *run = done;
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(done.err, "");
  EXPECT_TRUE(!done.out.empty() && done.out.back() == '\n') << done.out;
  return Json::parse(done.out, nullptr, /*allow_exceptions=*/false);
}

const char* kSnapshotWithPicture =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,"isPluggedIn":true,)json"
    R"json("fullInMinutes":95,"chargingPowerWatts":11000,"carTitle":"EX30 · 2025","modelName":"EX30",)json"
    R"json("odometerKm":23412,"writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":true})json";

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

TEST(KelvoWidgetRequests, InfoPrintsTheRegistration) {
  Scratch scratch;
  const ProgramRun run = runProgram("kelvo-widget", {"info"}, scratch);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(
      run.out,
      R"({"kind":"KelvoCar","displayName":"Kelvo","description":"Battery, range and charging status for your Volvo.",)"
      R"("supportedFamilies":["systemSmall","systemMedium","systemLarge"]})"
      "\n");
}

TEST(KelvoWidgetRequests, PlaceholderIsTheSampleCarWrittenEightMinutesBeforeFirstUse) {
  const Json expected = Json::parse(
      R"json({"date":"2026-12-06T12:00:00.000Z","snapshot":{"batteryPercentage":78,"rangeKm":412,)json"
      R"json("statusKey":"IDLE","isDriving":false,"isPluggedIn":false,"carTitle":"Polestar 4 \u00B7 2026",)json"
      R"json("modelName":"Polestar 4","odometerKm":23412,"writtenAt":"2026-12-06T11:52:00Z",)json"
      R"json("unit":"Kilometers (km)","hasImage":false},"carImage":null,"problem":null})json");
  Scratch scratch;
  EXPECT_EQ(request({"placeholder", "--shared-dir", "/nonexistent"}, scratch), expected);
}

TEST(KelvoWidgetRequests, TimelineReportsEachStoreState) {
  Scratch scratch;
  EXPECT_EQ(request({"timeline"}, scratch), Json::parse(R"({
    "entries": [{"date": "2026-12-06T12:00:00.000Z", "snapshot": null, "carImage": null,
                 "problem": {"case": "nothingPolledYet"}}],
    "policy": {"after": "2026-12-06T12:15:00.000Z"}})"));
  Json timeline = request({"timeline", "--shared-dir", (scratch.shared() / "missing").string()}, scratch);
  EXPECT_EQ(timeline["entries"][0]["problem"], Json::parse(R"({"case":"noContainer"})"));

  scratch.write("snapshot.json", R"({"batteryPercentage":)");
  const Json problem = request({"timeline"}, scratch)["entries"][0]["problem"];
  EXPECT_EQ(problem["case"], "unreadable");
  EXPECT_TRUE(problem["message"].is_string() && !problem["message"].get<std::string>().empty());

  scratch.write("snapshot.json", kSnapshotWithPicture);
  timeline = request({"timeline", "--now", "2026-12-06T13:00:00.25+01:00"}, scratch);
  ASSERT_EQ(timeline["entries"].size(), 1u);
  const Json& entry = timeline["entries"][0];
  EXPECT_EQ(entry["snapshot"], Json::parse(kSnapshotWithPicture));
  EXPECT_TRUE(entry["problem"].is_null());
  EXPECT_TRUE(entry["carImage"].is_null()) << "hasImage but no car.png";
  EXPECT_EQ(entry["date"], "2026-12-06T12:00:00.250Z");
  EXPECT_EQ(timeline["policy"]["after"], "2026-12-06T12:15:00.250Z");
}

TEST(KelvoWidgetRequests, PictureSizeForMediumAndLargeOnly) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshotWithPicture);
  ASSERT_TRUE(writePicture(scratch.shared() / "car.png", 1200, 1600, "png"));
  for (const char* family : {"medium", "systemLarge", "large", "small", "systemSmall"}) {
    const Json entry = request({"timeline", "--family", family}, scratch)["entries"][0];
    const bool small = std::string(family).find("mall") != std::string::npos;
    EXPECT_EQ(entry["carImage"], small ? Json() : Json::parse(R"({"width":600,"height":800})")) << family;
    EXPECT_FALSE(entry["snapshot"].is_null()) << family;
  }
}

TEST(KelvoWidgetRequests, SnapshotWithAndWithoutPreview) {
  Scratch scratch;
  Json entry = request({"snapshot"}, scratch);
  EXPECT_TRUE(entry["snapshot"].is_null());
  EXPECT_EQ(entry["problem"]["case"], "nothingPolledYet");

  entry = request({"snapshot", "--preview", "--family", "medium"}, scratch);
  EXPECT_EQ(entry["snapshot"]["modelName"], "Polestar 4");
  EXPECT_TRUE(entry["problem"].is_null());
  EXPECT_EQ(entry["date"], "2026-12-06T12:00:00.000Z");

  scratch.write("snapshot.json", kSnapshotWithPicture);
  EXPECT_EQ(request({"snapshot", "--preview"}, scratch)["snapshot"]["modelName"], "EX30");
}

TEST(KelvoWidgetUsage, MistakesAreUsageErrorsWithOneLineReasonsAndHelpIsNot) {
  Scratch scratch;
  // The last --now has no zone.
  for (const std::string line :
       {"", "bogus", "timeline --family huge", "timeline --family accessoryCircular",
        "snapshot --now yesterday", "placeholder --shared-dir", "timeline --frobnicate", "info extra",
        "timeline --now 2026-12-06T12:00:00"}) {
    std::istringstream words(line);
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    const ProgramRun run = runProgram("kelvo-widget", args, scratch);
    EXPECT_EQ(run.exitCode, 2) << line;
    EXPECT_EQ(run.out, "") << line;
    EXPECT_EQ(run.err.rfind("kelvo-widget: ", 0), 0u) << line << ": " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << line << ": " << run.err;
  }
  const ProgramRun help = runProgram("kelvo-widget", {"snapshot", "--help"}, scratch);
  EXPECT_EQ(help.exitCode, 0);
  for (const char* word : {"--family", "--shared-dir", "--now", "--preview"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// The widget process must stay under about 30 MB with a full-size camera
// picture: the decoder never holds the full-size image. (Sanitizer builds
// shadow every allocation, so the figure means nothing there.)
TEST(KelvoWidgetMemory, TimelineWithA4000By3000PictureStaysUnder30MiB) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "peak memory is not meaningful under AddressSanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "peak memory is not meaningful under AddressSanitizer";
#endif
#endif
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshotWithPicture);
  for (const char* type : {"png", "jpeg"}) {
    ASSERT_TRUE(writePicture(scratch.shared() / "car.png", 4000, 3000, type)) << type;
    ProgramRun run;
    const Json timeline = request({"timeline", "--family", "large"}, scratch, &run);
    EXPECT_EQ(timeline["entries"][0]["carImage"], Json::parse(R"({"width":800,"height":600})")) << type;
    EXPECT_LT(run.peakKiB, 30 * 1024) << type;
  }
}

// car.png is read in pieces and no further than the picture ends, so bytes
// after it (up to the store's 64 MiB) cost no memory; a GIF, however large
// the screen it declares, is no car picture.
TEST(KelvoWidgetMemory, PaddedPictureIsReadInPiecesAndForeignFormatsAreNoPicture) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "peak memory is not meaningful under AddressSanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "peak memory is not meaningful under AddressSanitizer";
#endif
#endif
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshotWithPicture);
  const fs::path picture = scratch.shared() / "car.png";
  ASSERT_TRUE(writePicture(picture, 400, 300, "png"));
  fs::resize_file(picture, fs::file_size(picture) + (60u << 20));
  ProgramRun run;
  Json timeline = request({"timeline", "--family", "large"}, scratch, &run);
  EXPECT_EQ(timeline["entries"][0]["carImage"], Json::parse(R"({"width":400,"height":300})"));
  EXPECT_LT(run.peakKiB, 30 * 1024);

  // A 7000 × 7000 screen with one 1 × 1 frame: 35 bytes.
  const char gif[] =
      "GIF89a\x58\x1b\x58\x1b\x80\0\0\0\0\0\xff\xff\xff"
      "\x2c\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0\x3b";
  scratch.write("car.png", std::string(gif, sizeof gif - 1));
  timeline = request({"timeline", "--family", "large"}, scratch, &run);
  EXPECT_TRUE(timeline["entries"][0]["carImage"].is_null());
  EXPECT_FALSE(timeline["entries"][0]["snapshot"].is_null());
  EXPECT_LT(run.peakKiB, 30 * 1024);
}

}  // namespace
