// kelvo-widget serve as its clients meet it: the server on a free loopback
// port, curl for HTTP and HTTPS, raw sockets for crowds and slow clients,
// systemd's socket hand-over, and headless Chromium through chromedriver.

#include <arpa/inet.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <tuple>

#include "KelvoShared/WidgetSnapshot.h"
#include "Processes.h"
#include "ProgramRunner.h"
#include "SampleSnapshot.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using nlohmann::literals::operator""_json_pointer;

struct Response {
  int status = 0;
  std::string headers, body;

  // The first header of that name (any case), without its line end.
  std::string header(const std::string& name) const {
    std::string lower = headers, wanted = "\n" + name + ":";
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower.find(wanted);
    if (at == std::string::npos) return "";
    const std::size_t start = headers.find_first_not_of(' ', at + wanted.size());
    return headers.substr(start, headers.find('\r', start) - start);
  }
};

// A connection to the loopback port from `source`; -1 when refused.
int connectTo(int port, const char* source = "127.0.0.1") {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, source, &address.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  ::close(fd);
  return -1;
}

// What the server sends within `seconds`, and whether it closed the connection.
struct Received {
  std::string bytes;
  bool closed = false;
};
Received receive(int fd, double seconds, std::size_t enough = SIZE_MAX) {
  Received received;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (received.bytes.size() < enough) {
    pollfd readable{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) <= 0) break;
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      received.closed = true;
      break;
    }
    received.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return received;
}

void sendAll(int fd, std::string_view bytes) {
  ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
}

// A process and its group, stopped when the value goes away.
struct Spawned {
  pid_t pid;
  ~Spawned() { stopProcess(pid); }
};

struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint8_t> grey;  // the red channel, row by row
  bool allGrey = true;             // red, green and blue equal everywhere
  int at(int x, int y) const { return grey[static_cast<std::size_t>(y) * width + x]; }
};

// The image decoded by GdkPixbuf (PNG and BMP).
Pixels decode(const std::string& bytes) {
  Pixels pixels;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
  gdk_pixbuf_loader_close(loader, nullptr);
  if (GdkPixbuf* image = gdk_pixbuf_loader_get_pixbuf(loader)) {
    pixels.width = gdk_pixbuf_get_width(image);
    pixels.height = gdk_pixbuf_get_height(image);
    const int stride = gdk_pixbuf_get_rowstride(image), channels = gdk_pixbuf_get_n_channels(image);
    const guchar* data = gdk_pixbuf_read_pixels(image);
    for (int y = 0; y < pixels.height; ++y) {
      for (int x = 0; x < pixels.width; ++x) {
        const guchar* p = data + y * stride + x * channels;
        pixels.grey.push_back(p[0]);
        pixels.allGrey = pixels.allGrey && p[0] == p[1] && p[1] == p[2];
      }
    }
  }
  g_object_unref(loader);
  return pixels;
}

class ServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Reported 9m40s before --now: the age text turns in 20 s, which the
    // refresh schedule (as every client of it) probes a second later.
    snapshot_.carReportedAt = Date{kNow.secondsSince1970 - 580};
    save();
  }
  void TearDown() override {
    if (server_.pid > 0) stop(SIGKILL);
  }

  // Writes snapshot_ through `kelvo save`.
  void save() {
    const fs::path file = scratch_.root() / "snapshot.json";
    writeFile(file, *encodeSnapshot(snapshot_));
    ASSERT_EQ(
        runProgram("kelvo", {"--shared-dir", scratch_.shared().string(), "save", file.string()}, scratch_)
            .exitCode,
        0);
  }

  // Starts the server on a free port with `args` and waits for it to listen.
  void start(std::vector<std::string> args = {}) {
    if (std::find(args.begin(), args.end(), "--listen") == args.end())
      args.insert(args.end(), {"--listen", "127.0.0.1:0"});
    args.insert(args.begin(), {"serve", "--shared-dir", scratch_.shared().string(), "--now", kWidgetNow});
    server_ = kelvo::testing::start("kelvo-widget", args, scratch_);
    ASSERT_TRUE(waitFor([&] { return log().find("listening on") != std::string::npos; }, 20)) << log();
    const std::string line = log().substr(log().find("listening on"));
    port_ = std::stoi(line.substr(line.find(':', line.find("://") + 3) + 1));
  }

  ProgramRun stop(int signal = SIGTERM) {
    ::kill(server_.pid, signal);
    ProgramRun run = finish(server_);
    server_.pid = -1;
    return run;
  }

  std::string log() const { return readFile(server_.err); }

  Response get(const std::string& target, std::vector<std::string> options = {},
               const std::string& scheme = "http") {
    static int counter = 0;
    const std::string tag = std::to_string(++counter);
    const fs::path body = scratch_.root() / ("body." + tag), headers = scratch_.root() / ("headers." + tag),
                   status = scratch_.root() / ("status." + tag);
    std::vector<std::string> argv{"curl",           "-s", "-o",          body.string(), "-D",
                                  headers.string(), "-w", "%{http_code}"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(scheme + "://127.0.0.1:" + std::to_string(port_) + target);
    runProcess(argv, status);
    const std::string code = readFile(status);
    return {code.empty() ? 0 : std::stoi(code), readFile(headers), readFile(body)};
  }

  Scratch scratch_;
  WidgetSnapshot snapshot_ = sampleSnapshot();
  Started server_;
  int port_ = 0;
};

TEST_F(ServeTest, AnswersAsTheCommandsDoAndNothingElse) {
  start();
  const std::string shared = scratch_.shared().string();
  // The same bytes the commands print (SVG and PDF carry ids and dates of their own).
  for (const auto& [target, program, args] :
       std::vector<std::tuple<std::string, std::string, std::vector<std::string>>>{
           {"/widget.png?family=large&appearance=dark",
            "kelvo-widget",
            {"render", "--family", "large", "--appearance", "dark"}},
           {"/widget.png?family=large&scale=1.5",  // drawn in bands
            "kelvo-widget",
            {"render", "--family", "large", "--scale", "1.5"}},
           {"/widget.json?family=medium",
            "kelvo-widget",
            {"render", "--family", "medium", "--format", "json"}},
           {"/status.json", "kelvo-widget", {"status", "--format", "waybar"}},
           {"/snapshot.json", "kelvo", {"--shared-dir", shared, "show"}}}) {
    const ProgramRun command =
        program == "kelvo" ? runProgram(program, args, scratch_) : runWidget(args, scratch_);
    const Response response = get(target);
    EXPECT_EQ(response.status, 200) << target;
    EXPECT_TRUE(response.body == command.out)
        << target << ": " << response.body.size() << " bytes, the command " << command.out.size() << "; "
        << command.err;
  }
  // clang-format off
  for (const auto& [target, options, status, type] : std::vector<std::tuple<std::string, std::vector<std::string>, int, std::string>>{
           {"/widget.svg", {}, 200, "image/svg+xml"},
           {"/widget.pdf", {}, 200, "application/pdf"},
           {"/widget.png?format=bmp", {}, 200, "image/bmp"},
           {"/", {}, 200, "text/html; charset=utf-8"},
           {"/kelvo.js", {}, 200, "text/javascript; charset=utf-8"},
           {"/kelvo.css", {}, 200, "text/css; charset=utf-8"},
           {"/kelvo.svg", {}, 200, "image/svg+xml"},
           {"/nope", {}, 404, "text/plain; charset=utf-8"},
           {"/widget.gif", {}, 404, "text/plain; charset=utf-8"},
           {"/widget.png/", {}, 404, "text/plain; charset=utf-8"},
           {"/../resources/Info.json", {"--path-as-is"}, 404, "text/plain; charset=utf-8"},
           {"/", {"-X", "POST"}, 405, "text/plain; charset=utf-8"},
           {"/status.json", {"-X", "DELETE"}, 405, "text/plain; charset=utf-8"},
           {"/status.json", {"-H", "Content-Length: 3", "--data-binary", "abc", "-X", "GET"}, 400, "text/plain; charset=utf-8"}}) {
    // clang-format on
    const Response response = get(target, options);
    EXPECT_EQ(response.status, status) << target;
    EXPECT_EQ(response.header("Content-Type"), type) << target;
    EXPECT_EQ(response.header("X-Content-Type-Options"), "nosniff") << target;
    EXPECT_EQ(response.header("Allow"), status == 405 ? "GET, HEAD" : "") << target;
  }
  // HEAD: the headers of GET, no body.
  const int raw = connectTo(port_);
  sendAll(raw, "HEAD /widget.png HTTP/1.0\r\n\r\n");
  const std::string head = receive(raw, 10).bytes;
  ::close(raw);
  EXPECT_TRUE(
      head.ends_with("Content-Length: " + std::to_string(get("/widget.png").body.size()) + "\r\n\r\n"))
      << head;
  // The browser's language where Kelvo has it, and lang= everywhere texts are.
  const Response page = get("/", {"-H", "Accept-Language: de-CH, de;q=0.9, en;q=0.5"});
  EXPECT_NE(page.body.find("<html lang=\"de\""), std::string::npos);
  EXPECT_NE(page.body.find("alt=\"64% · 318 km · Lädt · "), std::string::npos);
  EXPECT_EQ(page.header("Vary"), "Accept-Language");
  EXPECT_NE(get("/?lang=he").body.find("<html lang=\"he\" dir=\"rtl\""), std::string::npos);
  EXPECT_NE(get("/status.json?lang=sv").body.find("\"64% · 318 km · Laddar · "), std::string::npos);
}

TEST_F(ServeTest, BadParametersNameThemselvesAndWhatTheyAccept) {
  start();
  const std::string families = "small, medium, large, extraLarge (or systemSmall, ...)";
  // clang-format off
  for (const auto& [target, line] : std::vector<std::pair<std::string, std::string>>{
           {"/widget.png?family=huge", "family: \"huge\" is not accepted (" + families + ")"},
           {"/widget.png?family=", "family: \"\" is not accepted (" + families + ")"},
           {"/widget.png?appearance=blue", "appearance: \"blue\" is not accepted (light, dark)"},
           {"/widget.png?scale=0.2", "scale: \"0.2\" is not accepted (a number from 0.25 to 8)"},
           {"/widget.png?scale=nan", "scale: \"nan\" is not accepted (a number from 0.25 to 8)"},
           {"/widget.png?scale=2x", "scale: \"2x\" is not accepted (a number from 0.25 to 8)"},
           {"/widget.png?lang=xx", "lang: \"xx\" is not accepted (ar, cs, da, de, en, es, fi, fr, he, it, ja, ko, nb, nl, pl, pt_BR, sv, zh_CN)"},
           {"/widget.png?width=0&height=480", "width: \"0\" is not accepted (a whole number of pixels from 1 to 2560)"},
           {"/widget.png?width=800&height=2561", "height: \"2561\" is not accepted (a whole number of pixels from 1 to 2560)"},
           {"/widget.png?width=-800&height=480", "width: \"-800\" is not accepted (a whole number of pixels from 1 to 2560)"},
           {"/widget.png?width=800", "width: needs height too"},
           {"/widget.png?height=480", "height: needs width too"},
           {"/widget.png?width=8&height=8&scale=1", "scale: not with width and height (the panel's size decides)"},
           {"/widget.png?rotate=45", "rotate: \"45\" is not accepted (0, 90, 180, 270)"},
           {"/widget.png?colors=256", "colors: \"256\" is not accepted (2, 4, 16)"},
           {"/widget.png?dither=ordered&colors=2", "dither: \"ordered\" is not accepted (floyd-steinberg, atkinson, none)"},
           {"/widget.png?dither=none", "dither: needs colors (2, 4 or 16)"},
           {"/widget.png?format=gif", "format: \"gif\" is not accepted (png, bmp)"},
           {"/widget.png?family=large&family=small", "family: given more than once"},
           {"/widget.png?size=big", "unknown parameter \"size\" for /widget.png (family, appearance, scale, lang, width, height, rotate, colors, dither, format, token)"},
           {"/widget.svg?colors=2", "unknown parameter \"colors\" for /widget.svg (family, appearance, lang, token)"},
           {"/snapshot.json?lang=de", "unknown parameter \"lang\" for /snapshot.json (token)"},
           {"/?family=%1B%5B2J" + std::string(50, 'x'), "unknown parameter \"family\" for / (lang, token)"},
           {"/widget.png?family=%1B%5B2J" + std::string(50, 'x'), "family: \"\\x1b[2J" + std::string(33, 'x') + "…\" is not accepted (" + families + ")"}}) {
    // clang-format on
    const Response response = get(target);
    EXPECT_EQ(response.status, 400) << target;
    EXPECT_EQ(response.body, line + "\n") << target;
  }
}

TEST_F(ServeTest, ValidatorsAndMaxAgeFollowTheFilesAndTheClock) {
  start();
  const std::string target = "/widget.png?family=large";
  const Response first = get(target);
  EXPECT_EQ(first.header("Cache-Control"), "max-age=21");
  const std::string etag = first.header("ETag");
  ASSERT_EQ(etag.size(), 18u);
  for (const auto& [ifNoneMatch, status] : std::vector<std::pair<std::string, int>>{
           {etag, 304}, {"W/" + etag, 304}, {"\"other\", " + etag, 304}, {"*", 304}, {"\"other\"", 200}}) {
    const Response response = get(target, {"-H", "If-None-Match: " + ifNoneMatch});
    EXPECT_EQ(response.status, status) << ifNoneMatch;
    EXPECT_EQ(response.header("ETag"), etag);
    EXPECT_EQ(response.header("Content-Length"), status == 304 ? "0" : std::to_string(first.body.size()));
  }
  // Equal requests written differently share their render; others have their own.
  const Response again = get("/widget.png?scale=2.0&family=systemLarge");
  EXPECT_EQ(again.header("ETag"), etag);
  EXPECT_EQ(again.header("Server-Timing"), "cache;desc=hit");
  EXPECT_NE(get("/widget.png?family=large&lang=en").header("ETag"), etag);
  // SIGHUP drops the renders, not what they are.
  ::kill(server_.pid, SIGHUP);
  ASSERT_TRUE(waitFor([&] { return log().find("dropped the caches") != std::string::npos; }, 5));
  const Response redrawn = get(target);
  EXPECT_EQ(redrawn.header("ETag"), etag);
  EXPECT_EQ(redrawn.header("Server-Timing").rfind("render;dur=", 0), 0u) << redrawn.header("Server-Timing");
  EXPECT_EQ(redrawn.body, first.body);
  // A new snapshot is a new version.
  snapshot_.batteryPercentage = 71;
  save();
  const Response changed = get(target, {"-H", "If-None-Match: " + etag});
  EXPECT_EQ(changed.status, 200);
  EXPECT_NE(changed.header("ETag"), etag);
  // Without a snapshot nothing drawn depends on the clock.
  ASSERT_EQ(runProgram("kelvo", {"--shared-dir", scratch_.shared().string(), "clear"}, scratch_).exitCode, 0);
  EXPECT_EQ(get(target).header("Cache-Control"), "max-age=60");
  EXPECT_EQ(get("/snapshot.json").body, "{\"state\":\"noFile\"}\n");
}

TEST_F(ServeTest, PanelImagesHaveTheSizeGreysAndTurnAskedFor) {
  start();
  // clang-format off
  // The bits a pixel takes: the PNG's IHDR bit depth, or the BMP's bits per pixel.
  for (const auto& [query, width, height, levels, bits] : std::vector<std::tuple<std::string, int, int, int, int>>{
           {"width=800&height=480&colors=2&dither=atkinson", 800, 480, 2, 1},
           {"width=800&height=480&rotate=90&colors=4", 800, 480, 4, 2},
           {"width=600&height=448&colors=16&dither=none&appearance=dark", 600, 448, 16, 4},
           {"width=1072&height=1448&colors=16&rotate=180", 1072, 1448, 16, 4},
           {"family=small&rotate=270&colors=2&scale=1", 170, 170, 2, 1},
           {"width=800&height=480&colors=2&format=bmp", 800, 480, 2, 1},
           {"width=401&height=300&colors=4&format=bmp&family=large", 401, 300, 4, 4},
           {"width=250&height=122&colors=16&format=bmp&rotate=180", 250, 122, 16, 4},
           {"family=medium&format=bmp&rotate=90", 340, 728, 256, 8}}) {
    // clang-format on
    const Response response = get("/widget.png?" + query);
    ASSERT_EQ(response.status, 200) << query;
    const bool bmp = query.find("format=bmp") != std::string::npos;
    EXPECT_EQ(int(response.body.at(bmp ? 28 : 24)), bits) << query;
    const Pixels pixels = decode(response.body);
    EXPECT_EQ(pixels.width, width) << query;
    EXPECT_EQ(pixels.height, height) << query;
    EXPECT_TRUE(pixels.allGrey) << query;
    std::set<int> greys(pixels.grey.begin(), pixels.grey.end());
    for (const int grey : greys) EXPECT_EQ(grey * (levels - 1) % 255, 0) << query << ": grey " << grey;
    EXPECT_GE(greys.size(), 2u) << query;
  }
  // A quarter turn clockwise: the upright drawing's (x, y) is the turned one's (h - 1 - y, x).
  const Pixels upright =
      decode(get("/widget.png?family=large&width=480&height=800&colors=2&dither=none").body);
  const Pixels turned =
      decode(get("/widget.png?family=large&width=800&height=480&colors=2&dither=none&rotate=90").body);
  ASSERT_EQ(upright.width, turned.height);
  int differ = 0, black = 0;
  for (int y = 0; y < upright.height; ++y) {
    for (int x = 0; x < upright.width; ++x) {
      differ += upright.at(x, y) != turned.at(turned.width - 1 - y, x);
      black += upright.at(x, y) == 0;
    }
  }
  EXPECT_GT(black, 1000);
  EXPECT_LT(differ, black / 20) << "of " << black << " black pixels";
  // Two greys without dithering keep the green bar and the grey captions and
  // age (drawn in increased contrast), which a plain threshold would lose.
  const Pixels stark = decode(get("/widget.png?family=large&width=800&height=480&colors=2&dither=none").body);
  const auto black_in = [&](int top, int bottom, int left, int right) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += stark.at(x, y) == 0;
    return count;
  };
  EXPECT_GT(black_in(110, 117, 200, 440), 1200);  // the bar's filled part
  EXPECT_GT(black_in(440, 466, 185, 330), 150);   // "Updated … ago"
  EXPECT_GT(black_in(130, 142, 185, 240), 40);    // the "Charger" caption
}

TEST_F(ServeTest, TokenGuardsEveryPathAndNeverShows) {
  const fs::path file = scratch_.root() / "token";
  const std::string token = "k3lv0-t0ken-0123456789";
  // clang-format off
  for (const auto& [text, mode, args, exitCode, message] : std::vector<std::tuple<std::string, int, std::vector<std::string>, int, std::string>>{
           {token, 0644, {"--token-file", file.string()}, 1, "is open to group or others; refusing it (chmod 600"},
           {"short\n", 0600, {"--token-file", file.string()}, 1, "is shorter than 16 characters"},
           {token + " x\n", 0600, {"--token-file", file.string()}, 1, "must be printable ASCII without blanks"},
           {token, 0600, {"--listen", "0.0.0.0:0"}, 2, "is reachable from other machines: give --token-file"},
           {token, 0600, {"--listen", "localhost:80"}, 2, "needs ADDRESS:PORT with a numeric address"},
           {token, 0600, {"--token-file", "/nonexistent/token"}, 1, "serve: /nonexistent/token: cannot open: No such file or directory\n"},
           {token, 0600, {"--token-file", "/nonexistent/to\x1bk\\en"}, 1, "serve: /nonexistent/to\\x1bk\\\\en: cannot open"}}) {  // escaped once
    // clang-format on
    writeFile(file, text);
    ::chmod(file.c_str(), static_cast<mode_t>(mode));
    std::vector<std::string> serve{"serve"};
    serve.insert(serve.end(), args.begin(), args.end());
    const ProgramRun run = runWidget(serve, scratch_);
    EXPECT_EQ(run.exitCode, exitCode) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  writeFile(file, token + "\n");
  ::chmod(file.c_str(), 0600);
  start({"--token-file", file.string(), "--listen", "0.0.0.0:0", "-v"});
  // clang-format off
  for (const auto& [target, authorization, status] : std::vector<std::tuple<std::string, std::string, int>>{
           {"/status.json", "", 401},
           {"/status.json", "Bearer " + token, 200},
           {"/widget.png", "bearer  " + token, 200},
           {"/status.json", "Bearer " + token + "x", 401},
           {"/status.json", "Bearer " + token.substr(1), 401},
           {"/status.json", "Basic " + token, 401},
           {"/status.json?token=" + token, "", 200},
           {"/?token=" + token, "", 200},
           {"/nope?token=" + token, "", 404},
           {"/nope", "", 401},
           {"/status.json?token=wrong", "Bearer " + token, 200},
           {"/status.json?token=" + token.substr(0, 8), "", 401}}) {
    // clang-format on
    std::vector<std::string> options;
    if (!authorization.empty()) options = {"-H", "Authorization: " + authorization};
    const Response response = get(target, options);
    EXPECT_EQ(response.status, status) << target << " " << authorization;
    EXPECT_EQ(response.header("WWW-Authenticate"), status == 401 ? "Bearer" : "") << target;
  }
  // The page carries the token on to what it loads.
  EXPECT_NE(get("/?token=" + token).body.find("src=\"/kelvo.js?token=" + token + "\""), std::string::npos);
  // Every request has its line, the token never.
  EXPECT_EQ(log().find(token.substr(4)), std::string::npos);
  EXPECT_EQ(count(log(), "\"/status.json?token=…\" 200"), 2u);
  EXPECT_EQ(count(log(), "\"/status.json\" 401"), 4u);
}

TEST_F(ServeTest, CrowdsBigRequestsAndSlowClientsCannotHoldIt) {
  start({"--max-connections", "4", "--max-per-address", "2", "--idle-timeout", "30"});
  // One address gets two connections; a third is closed at once.
  const int first = connectTo(port_), second = connectTo(port_);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int third = connectTo(port_);
  EXPECT_TRUE(receive(third, 5).closed);
  // With all four taken, a fifth waits until one is let go.
  const int fourth = connectTo(port_, "127.0.0.2"), fifth = connectTo(port_, "127.0.0.2");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int waiting = connectTo(port_, "127.0.0.3");
  sendAll(waiting, "GET /status.json HTTP/1.1\r\nHost: k\r\n\r\n");
  const Received early = receive(waiting, 1);
  EXPECT_EQ(early.bytes, "");
  EXPECT_FALSE(early.closed);
  ::close(first);
  EXPECT_EQ(receive(waiting, 10, 12).bytes.substr(0, 12), "HTTP/1.1 200");
  for (const int fd : {second, third, fourth, fifth, waiting}) ::close(fd);
  // A request line or headers beyond the connection's memory.
  EXPECT_EQ(get("/status.json?x=" + std::string(20000, 'a')).status, 414);
  EXPECT_EQ(get("/status.json", {"-H", "X-Big: " + std::string(20000, 'a')}).status, 431);
  EXPECT_EQ(stop().exitCode, 0);

  // A byte a second keeps a connection from going idle, not past its request time.
  start({"--request-timeout", "2", "--idle-timeout", "30"});
  const int slow = connectTo(port_);
  const auto begun = Clock::now();
  const std::string request = "GET /status.json HTTP/1.1\r\nHost: k\r\nX-Slow: " + std::string(60, 'a');
  bool closed = false;
  for (std::size_t i = 0; i < request.size() && !closed; ++i) {
    ::send(slow, &request[i], 1, MSG_NOSIGNAL);
    closed = receive(slow, 1).closed;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
  EXPECT_TRUE(closed);
  EXPECT_GE(seconds, 1.9);
  EXPECT_LT(seconds, 10);
  ::close(slow);
  EXPECT_TRUE(waitFor([&] { return count(log(), ": no whole request within 2 s") == 1; }, 5)) << log();
}

TEST_F(ServeTest, StopsAfterTheRequestsInFlightWithStatusZero) {
  start();
  const int events = connectTo(port_);
  sendAll(events, "GET /events HTTP/1.1\r\nHost: k\r\n\r\n");
  EXPECT_NE(receive(events, 10, 200).bytes.find("data: {\"text\":\"64% · 318 km · Charging"),
            std::string::npos);
  // An answer of 8.9 MB that its client does not read yet.
  const int big = connectTo(port_);
  sendAll(big, "GET /widget.png?family=large&scale=8&format=bmp HTTP/1.1\r\nHost: k\r\n\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(server_.pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(::waitpid(server_.pid, nullptr, WNOHANG), 0) << "ended before its requests";
  EXPECT_EQ(connectTo(port_), -1) << "still takes connections";
  const Received answer = receive(big, 60);
  const std::size_t headerEnd = answer.bytes.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  const Response response{200, answer.bytes.substr(0, headerEnd + 2), answer.bytes.substr(headerEnd + 4)};
  EXPECT_EQ(response.header("Content-Length"), "8900150");
  EXPECT_EQ(response.body.size(), 8900150u);
  // The event stream ends with its last chunk.
  EXPECT_NE(receive(events, 10).bytes.find("0\r\n\r\n"), std::string::npos);
  const ProgramRun run = stop(0);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("stopped"), std::string::npos);
  ::close(big);
  ::close(events);
}

TEST_F(ServeTest, ServesHttpsAndSocketsFromSystemd) {
  const fs::path certificate = selfSigned(scratch_.root(), "cert");
  ASSERT_FALSE(certificate.empty());
  const fs::path key = fs::path(certificate).replace_extension(".key");
  start({"--tls-cert", certificate.string(), "--tls-key", key.string()});
  EXPECT_NE(log().find("listening on https://127.0.0.1:"), std::string::npos);
  const Response secure = get("/status.json", {"--cacert", certificate.string()}, "https");
  EXPECT_EQ(secure.status, 200);
  EXPECT_EQ(secure.body, runWidget({"status", "--format", "waybar"}, scratch_).out);
  EXPECT_EQ(get("/status.json").status, 0);  // plain HTTP gets no answer
  EXPECT_EQ(stop().exitCode, 0);

  // systemd listens and starts the server at the first connection.
  port_ = loopback(0, 0);
  const fs::path socketLog = scratch_.root() / "activate.log";
  const Spawned activate{spawnProcess({"systemd-socket-activate", "-l", "127.0.0.1:" + std::to_string(port_),
                                       std::string(KELVO_BIN_DIR) + "/kelvo-widget", "serve", "--shared-dir",
                                       scratch_.shared().string(), "--now", kWidgetNow},
                                      socketLog)};
  ASSERT_TRUE(waitFor([&] { return readFile(socketLog).find("Listening on") != std::string::npos; }, 10));
  const Response handedOver = get("/status.json");
  EXPECT_EQ(handedOver.status, 200);
  EXPECT_NE(handedOver.body.find("64% · 318 km"), std::string::npos);
  EXPECT_NE(readFile(socketLog).find("(socket from systemd)"), std::string::npos) << readFile(socketLog);
}

TEST_F(ServeTest, LogsErrorsAlwaysWithControlCharactersEscaped) {
  start();
  EXPECT_EQ(get("/status.json").status, 200);
  const int raw = connectTo(port_);
  sendAll(raw, "GET /\x1b[2Jboo HTTP/1.1\r\nHost: k\r\n\r\n");
  EXPECT_NE(receive(raw, 5, 12).bytes.find("404"), std::string::npos);
  ::close(raw);
  ASSERT_TRUE(waitFor([&] { return log().find("boo") != std::string::npos; }, 5));
  EXPECT_NE(log().find("\"/\\x1b[2Jboo\" 404"), std::string::npos) << log();
  EXPECT_EQ(log().find("\x1b"), std::string::npos);
  EXPECT_EQ(log().find("/status.json"), std::string::npos);  // without -v only errors
}

// chromedriver's WebDriver commands, sent with curl.
class WebDriver {
 public:
  WebDriver(const Scratch& scratch, int port)
      : scratch_(scratch),
        port_(port),
        driver_{spawnProcess({"chromedriver", "--port=" + std::to_string(port)},
                             scratch.root() / "chromedriver.log")} {}
  nlohmann::json send(const std::string& method, const std::string& path,
                      const nlohmann::json& body = nullptr) {
    const fs::path out = scratch_.root() / "webdriver.json";
    std::vector<std::string> argv{
        "curl", "-s", "-o", out.string(), "-X", method, "http://127.0.0.1:" + std::to_string(port_) + path};
    if (!body.is_null()) argv.insert(argv.end(), {"-H", "Content-Type: application/json", "-d", body.dump()});
    runProcess(argv);
    nlohmann::json answer = nlohmann::json::parse(readFile(out), nullptr, false);
    return answer.is_object() ? answer : nlohmann::json::object();  // nothing yet while it starts
  }

 private:
  const Scratch& scratch_;
  int port_;
  Spawned driver_;  // with the browsers it starts, in its process group
};

TEST_F(ServeTest, BrowserShowsTheNewPercentageWithoutReloading) {
  start();
  WebDriver webDriver(scratch_, loopback(0, 0));
  ASSERT_TRUE(waitFor(
      [&] { return webDriver.send("GET", "/status").value("/value/ready"_json_pointer, false); }, 20));
  const nlohmann::json arguments = {"--headless",
                                    "--no-sandbox",
                                    "--disable-gpu",
                                    "--disable-quic",
                                    "--no-first-run",
                                    "--disable-background-networking",
                                    "--disable-component-update",
                                    "--disable-sync",
                                    "--user-data-dir=" + (scratch_.root() / "chromium").string()};
  const nlohmann::json created = webDriver.send(
      "POST", "/session",
      {{"capabilities",
        {{"alwaysMatch",
          {{"goog:chromeOptions", {{"binary", "/usr/bin/chromium"}, {"args", arguments}}}}}}}});
  const std::string session = "/session/" + created["value"].value("sessionId", std::string());
  ASSERT_NE(session, "/session/") << created.dump();
  webDriver.send("POST", session + "/url", {{"url", "http://127.0.0.1:" + std::to_string(port_) + "/"}});
  // What a reader sees: the details as text, the picture drawn, and a mark that a reload would wipe.
  const auto shown = [&] {
    return webDriver.send(
        "POST", session + "/execute/sync",
        {{"script",
          "window.kelvoMark = window.kelvoMark || performance.timeOrigin;"
          "const image = document.getElementById('widget');"
          "return [document.getElementById('details').textContent, image.complete && image.naturalWidth,"
          " image.src.slice(0, 5), window.kelvoMark];"},
         {"args", nlohmann::json::array()}})["value"];
  };
  ASSERT_TRUE(waitFor([&] { return shown()[1] == 728; }, 20));
  const nlohmann::json before = shown();
  EXPECT_NE(before[0].get<std::string>().find("64% · 318 km"), std::string::npos) << before.dump();

  snapshot_.batteryPercentage = 71;
  save();
  EXPECT_TRUE(
      waitFor([&] { return shown()[0].get<std::string>().find("71% · 318 km") != std::string::npos; }, 2));
  ASSERT_TRUE(waitFor([&] { return shown()[2] == "blob:"; }, 5));
  const nlohmann::json after = shown();
  EXPECT_EQ(after[1], 728);
  EXPECT_EQ(after[3], before[3]) << "the page was reloaded";
  webDriver.send("DELETE", session);
}

}  // namespace
}  // namespace kelvo::testing
