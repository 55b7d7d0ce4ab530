// Both programs run as a host, a desktop script or a user runs them: one
// line per case with the arguments, the exit status and what the output
// holds; and kelvo-widget's memory with pictures of any size.

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

// The same car 36 days later, and once more with texts and numbers no bar should print.
const std::string kStale =
    std::string(kCar).replace(std::string(kCar).find("2026-12-06T11:58:30Z"), 20, "2026-10-31T12:00:00Z");
const std::string kHostile =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"EVIL\u202e\u2066\u009b31m\u001b]0;x\u0007\nLINE","isDriving":false,)json"
    R"json("fullInMinutes":-9223372036854775808,"carTitle":"\u200fT\u061c","writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":false})json";

// Standard output as a case names it: a PNG as "width×height", JSON compact.
std::string shown(const std::string& out) {
  if (out.size() >= 24 && out.starts_with("\x89PNG\r\n\x1a\n")) {
    const auto be32 = [&](std::size_t at) {
      int value = 0;
      for (std::size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<unsigned char>(out[i]);
      return value;
    };
    return std::to_string(be32(16)) + "×" + std::to_string(be32(20));
  }
  return out.starts_with('{') ? Json::parse(out, nullptr, /*allow_exceptions=*/false).dump() + "\n" : out;
}

// "@" at the start of an argument or expected part is the scratch's shared directory.
std::string expanded(const std::string& text, const Scratch& scratch) {
  return text.starts_with('@') ? scratch.shared().string() + text.substr(1) : text;
}

TEST(Programs, AnswerEachCaseWithItsStatusAndOutput) {
  // kelvo-widget's answer at kWidgetNow without a store.
  const std::string none =
      R"({"date":"2026-12-06T12:00:00.000Z","snapshot":null,"carImage":null,"problem":{"case":"nothingPolledYet"}})";
  const std::string zoned = "2026-12-06T13:00:00.25+01:00";  // dates come out in UTC with milliseconds
  const std::string emptyDir = "kelvo: --shared-dir: needs a directory, not an empty value\n";
  const std::string noDir = "--shared-dir: needs a directory, not an empty value\n";
  const std::string version = " 0.1.0";  // CMake's project version, then git's description in a checkout
  const struct Case {
    std::string program;
    Args args;                       // kelvo-widget's answers get --shared-dir @ and --now kWidgetNow
    const char* snapshot;            // snapshot.json, if any
    int status;                      // 2: a usage error, one line on stderr: the part below, or its end
    std::vector<std::string> parts;  // what standard output, then stderr, holds; stdout as shown()
    std::string input{};             // standard input
  } table[] = {
      // clang-format off
      {"kelvo", {"show", "--shared-dir", "@"}, kCar, 0, {R"({"state":"ok","snapshot":{"batteryPercentage":64.0,)", R"("hasImage":true}})" "\n"}},
      {"kelvo", {"show", "--shared-dir", "@"}, nullptr, 1, {"{\"state\":\"noFile\"}\n"}},
      {"kelvo", {"show", "--pretty", "--shared-dir", "@"}, nullptr, 1, {"{\n  \"state\": \"noFile\"\n}\n"}},
      {"kelvo", {"show", "--shared-dir", "@/missing"}, nullptr, 1, {"{\"state\":\"noContainer\"}\n"}},
      {"kelvo", {"show", "--shared-dir", "@"}, "{\"rangeKm\": 1}", 1, {R"({"state":"unreadable","message":"key \"batteryPercentage\": missing"})"}},
      {"kelvo", {"show", "--shared-dir", "@"}, "{\"carTitle\": \"\xC3\x28\"}", 1, {R"({"state":"unreadable",)"}},  // broken bytes never break the JSON
      {"kelvo", {"save", "--shared-dir", "@", "-"}, kCar, 1, {"kelvo: not JSON: "}, "{\"batteryPercentage\": "},
      {"kelvo", {"save", "--shared-dir", "@", "@/missing.json"}, kCar, 1, {"missing.json"}},
      {"kelvo", {"save", "--shared-dir", "@", "@/mis\x1bsing.json"}, kCar, 1, {"mis\\x1bsing.json: No such file"}},  // escaped
      {"kelvo-widget", {"render", "--shared-dir", "@", "-o", "/nonexistent/o\x1b.png"}, kCar, 1, {"kelvo-widget: cannot write o\\x1b.png: No such file or directory\n"}},
      {"kelvo", {"save", "--shared-dir", "@", "-"}, kCar, 1, {"kelvo: standard input is larger than 1 MiB\n"}, std::string(2 << 20, ' ')},
      {"kelvo", {"save", "-", "--shared-dir", "@/missing"}, nullptr, 1, {"kelvo: no shared directory: ", "@/missing is not a directory\n"}, kCar},
      {"kelvo", {"save-image", "-", "--shared-dir", "@/missing"}, nullptr, 1, {"kelvo: no shared directory: ", "@/missing is not a directory\n"}, "x"},
      {"kelvo", {"remove-image", "--shared-dir", "@/missing"}, nullptr, 1, {"kelvo: no shared directory: ", "@/missing is not a directory\n"}},
      {"kelvo", {"clear", "--shared-dir", "@/missing"}, nullptr, 1, {"kelvo: no shared directory: ", "@/missing is not a directory\n"}},
      {"kelvo", {"where"}, nullptr, 0, {"shared directory: ", "/data/kelvo\n"}},
      {"kelvo", {"--shared-dir", "@/missing", "where"}, nullptr, 0, {"shared directory: none\n"}},
      {"kelvo", {"where", "--shared-dir", "@"}, nullptr, 0, {"shared directory: ", "@\n"}},
      {"kelvo", {"--help"}, nullptr, 0, {"save-image", "remove-image", "clear", "show", "where", "--shared-dir"}},
      {"kelvo", {"--version"}, nullptr, 0, {"kelvo" + version}},
      {"kelvo", {}, nullptr, 2, {"kelvo: missing command: save, save-image, remove-image, clear, show, where (see kelvo --help)\n"}},
      {"kelvo", {"bogus"}, nullptr, 2, {"kelvo: bogus: unknown command (see kelvo --help)\n"}},
      {"kelvo", {"show", "--frob"}, nullptr, 2, {"kelvo: --frob: unknown option (see kelvo show --help)\n"}},
      {"kelvo", {"where", "--pretty"}, nullptr, 2, {"kelvo: --pretty: unknown option (see kelvo where --help)\n"}},
      {"kelvo", {"save-image", "--shared-dir", "@"}, nullptr, 2, {"kelvo: FILE: missing (see kelvo save-image --help)\n"}},
      {"kelvo", {"save", "a", "b", "--shared-dir", "@"}, nullptr, 2, {"kelvo: b: unexpected argument (see kelvo save --help)\n"}},
      {"kelvo", {"show", "--shared-dir"}, nullptr, 2, {"kelvo: --shared-dir: needs a value\n"}},
      {"kelvo", {"clear", "--shared-dir", ""}, nullptr, 2, {emptyDir}},
      {"kelvo", {"--shared-dir", "", "clear"}, nullptr, 2, {emptyDir}},
      {"kelvo", {"show", "--shared-dir", ""}, nullptr, 2, {emptyDir}},
      {"kelvo-widget", {"info"}, nullptr, 0, {R"({"kind":"KelvoCar","displayName":"Kelvo","description":"Battery, range and charging status for your Volvo.","supportedFamilies":["systemSmall","systemMedium","systemLarge"]})" "\n"}},
      {"kelvo-widget", {"placeholder", "--shared-dir", "/nonexistent"}, nullptr, 0, {R"("modelName":"Polestar 4")"}},
      {"kelvo-widget", {"timeline"}, nullptr, 0, {R"({"entries":[)" + none + R"(],"policy":{"after":"2026-12-06T12:15:00.000Z"}})" "\n"}},
      {"kelvo-widget", {"timeline", "--shared-dir", "/nonexistent"}, nullptr, 0, {R"("problem":{"case":"noContainer"})"}},
      {"kelvo-widget", {"timeline"}, "{\"batteryPercentage\":", 0, {R"("problem":{"case":"unreadable")"}},
      {"kelvo-widget", {"snapshot"}, nullptr, 0, {none}},
      {"kelvo-widget", {"snapshot", "--preview", "--family", "medium"}, nullptr, 0, {R"("modelName":"Polestar 4")"}},
      {"kelvo-widget", {"snapshot", "--preview"}, kCar, 0, {R"({"date":"2026-12-06T12:00:00.000Z","snapshot":{"batteryPercentage":64.0,)", R"("hasImage":true},"carImage":null,"problem":null})"}},  // hasImage, but no car.png
      {"kelvo-widget", {"timeline", "--now", zoned}, kCar, 0, {R"("date":"2026-12-06T12:00:00.250Z")", R"("after":"2026-12-06T12:15:00.250Z")"}},
      // Each family's size and each format's drawing have their unit tests; here the options reach them.
      {"kelvo-widget", {"render", "--family", "medium"}, kCar, 0, {"728×340"}},  // two pixels a point
      {"kelvo-widget", {"render", "--family", "systemLarge", "--scale", "1"}, kCar, 0, {"364×382"}},
      {"kelvo-widget", {"render", "--format", "svg"}, kCar, 0, {" role=\"img\">\n<title>64%, 318 km, Charging, Full in 1 hr, 35 min, Updated 1 min. ago</title>\n<desc>EX30\n64%\n318 km\nCharging\n1m ago</desc>", "kelvo://open"}},
      {"kelvo-widget", {"render", "--format", "pdf"}, kCar, 0, {"%PDF-"}},
      {"kelvo-widget", {"render", "--format", "json", "--legacy-host"}, kCar, 0, {R"("drawn":false)", R"("contentMargins":0.0)"}},
      {"kelvo-widget", {"render", "--format", "json", "--family", "medium", "--preview"}, nullptr, 0, {"Polestar 4"}},
      {"kelvo-widget", {"status"}, kCar, 0, {"64% · 318 km · Charging · 1h35m\n"}},
      {"kelvo-widget", {"status"}, kStale.c_str(), 0, {"64% · 318 km · Charging · 1mo ago\n"}},
      {"kelvo-widget", {"status", "--format", "waybar"}, kStale.c_str(), 0, {R"("text":"64% · 318 km · Charging · 1mo ago",)", R"("class":["charging","stale"],"percentage":64})"}},
      {"kelvo-widget", {"status", "--format", "i3blocks"}, kStale.c_str(), 0, {"64% · 318 km · Charging · 1mo ago\n64% · 318 km\n#1e812d\n"}},
      {"kelvo-widget", {"status"}, kHostile.c_str(), 0, {"64% · 318 km · Evil31m]0;x Line · 1m ago\n"}},
      {"kelvo-widget", {"status", "--format", "waybar"}, kHostile.c_str(), 0, {R"("tooltip":"T\nEvil31m]0;x Line\n64% · 318 km\nUpdated 1 min. ago","class":"idle")"}},
      {"kelvo-widget", {"snapshot", "--help"}, nullptr, 0, {"--family", "--shared-dir", "--now", "--preview"}},
      {"kelvo-widget", {"-V"}, nullptr, 0, {"kelvo-widget" + version}},
      {"kelvo-widget", {}, nullptr, 2, {"kelvo-widget: missing command: info, placeholder, snapshot, timeline, render, run, status, serve (see kelvo-widget --help)\n"}},
      {"kelvo-widget", {"bogus"}, nullptr, 2, {"kelvo-widget: bogus: unknown command (see kelvo-widget --help)\n"}},
      {"kelvo-widget", {"info", "extra"}, nullptr, 2, {"kelvo-widget: extra: unexpected argument (see kelvo-widget info --help)\n"}},
      {"kelvo-widget", {"render", "--family", "medum"}, nullptr, 2, {"kelvo-widget: --family: \"medum\" is not a size (small, medium, large, extraLarge, or systemSmall, ...)\n"}},
      {"kelvo-widget", {"render", "--family", "m\x1b[2J\\"}, nullptr, 2, {"kelvo-widget: --family: \"m\\x1b[2J\\\\\" is not a size (small, medium, large, extraLarge, or systemSmall, ...)\n"}},  // escaped once
      {"kelvo-desktop", {"--bogus\x1b"}, nullptr, 2, {"kelvo-desktop: --bogus\\x1b: unknown option (see kelvo-desktop --help)\n"}},
      {"kelvo-widget", {"timeline", "--family", "accessoryCircular"}, nullptr, 2, {"\"accessoryCircular\" is not a size (small, medium, large, extraLarge, or systemSmall, ...)\n"}},
      {"kelvo-widget", {"timeline", "--frobnicate=1"}, nullptr, 2, {"kelvo-widget: --frobnicate: unknown option (see kelvo-widget timeline --help)\n"}},
      {"kelvo-widget", {"render", "--out-dir", "x"}, nullptr, 2, {"kelvo-widget: --out-dir: unknown option (see kelvo-widget render --help)\n"}},
      {"kelvo-widget", {"snapshot", "--now", "yesterday"}, nullptr, 2, {"kelvo-widget: --now: \"yesterday\" is not an ISO 8601 date-time with a zone\n"}},
      {"kelvo-widget", {"timeline", "--now", "2026-12-06T12:00:00"}, nullptr, 2, {"with a zone\n"}},  // no zone
      {"kelvo-widget", {"placeholder", "--shared-dir"}, nullptr, 2, {"kelvo-widget: --shared-dir: needs a value\n"}},
      {"kelvo-widget", {"timeline", "--shared-dir", ""}, nullptr, 2, {noDir}},
      {"kelvo-widget", {"render", "--shared-dir", ""}, nullptr, 2, {noDir}},
      {"kelvo-widget", {"run", "--shared-dir", "", "--out-dir", "/tmp"}, nullptr, 2, {noDir}},
      {"kelvo-widget", {"render", "--format", "gif"}, nullptr, 2, {"kelvo-widget: --format: \"gif\" is not an output format (png, svg, pdf, json)\n"}},
      {"kelvo-widget", {"status", "--format", "polybar"}, nullptr, 2, {"kelvo-widget: --format: \"polybar\" is not a status format (text, waybar, i3blocks)\n"}},
      {"kelvo-widget", {"render", "--appearance", "sepia"}, nullptr, 2, {"kelvo-widget: --appearance: \"sepia\" is not an appearance (light, dark)\n"}},
      {"kelvo-widget", {"run"}, nullptr, 2, {"kelvo-widget: --out-dir: missing (see kelvo-widget run --help)\n"}},
      {"kelvo-widget", {"run", "--out-dir", "/nonexistent/kelvo", "--scale", "nan"}, nullptr, 2, {"kelvo-widget: --scale: \"nan\" is not a number from 0.25 to 8\n"}},
      {"kelvo-widget", {"serve", "--max-connections", "0"}, nullptr, 2, {"kelvo-widget: --max-connections: \"0\" is not a whole number from 1 to 10000\n"}},
      {"kelvo-widget", {"serve", "--tls-cert", "x"}, nullptr, 2, {"kelvo-widget: --tls-cert: needs --tls-key\n"}},
      {"kelvo-desktop", {"--version"}, nullptr, 0, {"kelvo-desktop" + version}},
      {"kelvo-desktop", {"--shared-dir", ""}, nullptr, 2, {"kelvo-desktop: " + noDir}},
      {"kelvo-desktop", {"stray"}, nullptr, 2, {"kelvo-desktop: stray: unexpected argument (see kelvo-desktop --help)\n"}},
      {"kelvo-desktop", {"--anchor", "sideways"}, nullptr, 2, {"kelvo-desktop: --anchor: \"sideways\" is not an anchor (top-left, top-right, bottom-left, bottom-right, center)\n"}},
      {"kelvo-desktop", {"--family", "extraLarge"}, nullptr, 2, {"kelvo-desktop: --family: \"extraLarge\" is not a size (small, medium, large)\n"}},
      {"kelvo-desktop", {"--name", "x]y"}, nullptr, 2, {"kelvo-desktop: --name: \"x]y\" cannot name an instance (up to 64 bytes of UTF-8, no brackets or control characters)\n"}},
      {"kelvo-feed", {"-V"}, nullptr, 0, {"kelvo-feed" + version}},
      {"kelvo-feed", {"--bogus"}, nullptr, 2, {"kelvo-feed: --bogus: unknown option (see kelvo-feed --help)\n"}},
      {"kelvo-feed", {"--preset", "tesla"}, nullptr, 2, {"kelvo-feed: --preset: \"tesla\" is not a preset (teslamate, evcc, snapshot, map)\n"}},
      {"kelvo-feed", {"--password", "x"}, nullptr, 2, {"kelvo-feed: --password: unknown option (see kelvo-feed --help)\n"}},  // a secret is no option
      {"kelvo-feed", {"--timeout", "nan"}, nullptr, 2, {"kelvo-feed: --timeout: \"nan\" is not a number of seconds from 0.1 to 3600\n"}},
      {"kelvo-feed", {"--config", "@/none.ini"}, nullptr, 1, {"kelvo-feed: ", "@/none.ini: cannot open: No such file or directory\n"}},
      {"kelvo-desktop", {"--config", "@/none.ini"}, nullptr, 1, {"kelvo-desktop: ", "@/none.ini: cannot open: No such file or directory\n"}},
      {"kelvo-app", {"--bogus"}, nullptr, 2, {"kelvo-app: --bogus: unknown option (see kelvo-app --help)\n"}},
      {"kelvo-app", {"-V"}, nullptr, 0, {"kelvo-app" + version}},
      // clang-format on
  };
  std::vector<Case> cases(std::begin(table), std::end(table));
  // NaN fails every comparison of a range check.
  for (const char* scale : {"nan", "-nan", "inf", "0", "-1", "8.01", "1e300", "2x", ""}) {
    cases.push_back({"kelvo-widget", {"render", "--scale", scale}, nullptr, 2, {""}});
  }
  for (const Case& c : cases) {
    Scratch scratch;
    if (c.snapshot != nullptr) scratch.write("snapshot.json", c.snapshot);
    // A usage error never touches a store, not even the default one.
    const fs::path defaultSnapshot = scratch.root() / "data" / "kelvo" / "snapshot.json";
    fs::create_directories(defaultSnapshot.parent_path());
    writeFile(defaultSnapshot, "{}");
    Args args;
    for (const std::string& arg : c.args) args.push_back(expanded(arg, scratch));
    const bool answer = c.program == "kelvo-widget" && c.status == 0 && args[0] != "info" &&
                        std::find(args.begin(), args.end(), "--help") == args.end();
    Launch launch;
    launch.input = scratch.root() / "stdin";
    writeFile(launch.input, c.input);
    const ProgramRun run = answer ? runWidget(args, scratch) : runProgram(c.program, args, scratch, launch);
    const std::string what = c.program + " " + (args.empty() ? "(nothing)" : args[0] + " ... " + args.back());
    EXPECT_EQ(run.exitCode, c.status) << what << ": " << run.err;
    const std::string output = c.status == 2 ? run.err : shown(run.out) + run.err;
    for (const std::string& part : c.parts) {
      const std::string wanted = expanded(part, scratch);
      EXPECT_TRUE(output.find(wanted) != std::string::npos || run.out == wanted)
          << what << ": " << part << "\n"
          << output;
    }
    // One style for every usage error: the whole line, or how it ends.
    const std::string& line = c.parts.front();
    EXPECT_TRUE(c.status != 2 ||
                (line.starts_with(c.program + ": ") ? run.err == line : run.err.ends_with(line)))
        << what << ": " << run.err;
    // A failing command leaves the store as it was and makes no missing directory.
    EXPECT_TRUE(c.status == 0 ||
                readFile(scratch.shared() / "snapshot.json") == (c.snapshot ? c.snapshot : ""))
        << what;
    EXPECT_FALSE(fs::exists(scratch.shared() / "missing")) << what;
    if (c.status == 2) {
      EXPECT_TRUE(run.out.empty() && run.err.starts_with(c.program + ": ")) << what << run.err;
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << what << ": " << run.err;
      EXPECT_TRUE(fs::is_empty(scratch.shared()) && fs::exists(defaultSnapshot)) << what;
    } else {
      EXPECT_TRUE(!run.out.starts_with('{') || run.out.ends_with("}\n"))
          << what << ": one document and a newline";
      EXPECT_TRUE(!answer || run.err.empty()) << what << ": " << run.err;
    }
  }
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
    // A ramp with grain in every channel.
    guint8* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const std::size_t length = gdk_pixbuf_get_byte_length(pixbuf);
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < length; ++i, seed = seed * 1664525u + 1013904223u) {
      pixels[i] = static_cast<guint8>(40 + i * 160 / length + (seed >> 28));
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
  const std::tuple<const char*, std::function<bool()>, const char*> cases[] = {
      {"png", [&] { return writePicture(picture, 4000, 3000, "png"); }, R"({"width":800,"height":600})"},
      {"padded",
       [&] {
         return writePicture(picture, 400, 300, "png") &&
                (fs::resize_file(picture, fs::file_size(picture) + (60u << 20)), true);
       },
       R"({"width":400,"height":300})"},
      {"jpeg", [&] { return writePicture(picture, 4000, 3000, "jpeg"); }, R"({"width":800,"height":600})"},
      {"gif", [&] { return writeFile(picture, std::string_view(gif, sizeof gif - 1)), true; }, "null"}};
  for (const auto& [what, make, carImage] : cases) {
    ASSERT_TRUE(make()) << what;
    const ProgramRun run = runWidget({"timeline", "--family", "large"}, scratch);
    EXPECT_EQ(run.exitCode, 0) << what << run.err;
    const Json entry = Json::parse(run.out, nullptr, /*allow_exceptions=*/false)["entries"][0];
    EXPECT_EQ(entry["carImage"].dump(), carImage) << what;
    EXPECT_FALSE(entry["snapshot"].is_null()) << what;
    EXPECT_LT(run.peakKiB, 30 * 1024) << what;
  }
}

}  // namespace
}  // namespace kelvo::testing
