// kelvo-feed against a real Mosquitto broker started by each test: retained
// topics in the TeslaMate, evcc and custom layouts, the running daemon,
// malformed payloads, lost brokers, passwords and TLS.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "FeedBroker.h"
#include "Processes.h"
#include "ProgramRunner.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using namespace kelvo::testing;
using namespace std::string_literals;

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// "a=1 b=2" under "base/" as messages base/a = 1, base/b = 2.
Messages under(const std::string& base, const std::string& pairs) {
  Messages messages;
  for (const std::string& pair : words(pairs)) {
    const auto equals = pair.find('=');
    messages.emplace_back(base + pair.substr(0, equals), pair.substr(equals + 1));
  }
  return messages;
}

// Every key of `expected` has that value in `actual`; a null means absent.
void expectFields(const Json& actual, const std::string& expected, const std::string& label) {
  const Json wanted = Json::parse(expected);
  for (const auto& [key, value] : wanted.items())
    EXPECT_EQ(actual.value(key, Json()), value) << label << ": " << key << " in " << actual;
}

// A started program's run; one still running after `seconds` is killed, so
// that a hang fails the test instead of stalling it.
ProgramRun finishWithin(const Started& started, double seconds) {
  const auto ended = [&] {
    siginfo_t info{};
    return ::waitid(P_PID, started.pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
  };
  if (!waitFor(ended, seconds)) ::kill(started.pid, SIGKILL);
  return finish(started);
}

class FeedProgram : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(broker.start()) << broker.log(); }
  ProgramRun feed(const std::string& extra) const {
    return runProgram(
        "kelvo-feed",
        words("--broker " + broker.url() + " --shared-dir " + scratch.shared().string() + " " + extra),
        scratch);
  }
  Json stored() const { return Json::parse(readFile(scratch.shared() / "snapshot.json"), nullptr, false); }

  Scratch scratch;
  Broker broker{scratch.root()};
};

const std::string kTeslaCar =
    "battery_level=64 est_battery_range_km=318.4 rated_battery_range_km=401.63 display_name=Blue model=Y "
    "trim_badging=LR odometer=12345.6 ";
const std::string kEvccCar = "vehicleSoc=55.5 vehicleRange=250.4 vehicleOdometer=8000.5 vehicleTitle=ID.4 ";

// Each preset's retained topics through the broker into every snapshot field;
// the status rules themselves are CarState's (FeedRulesTest, FeedSessions).
TEST_F(FeedProgram, TeslaMateAndEvccRetainedTopicsGiveTheWholeSnapshot) {
  // clang-format off
  const std::array<const char*, 4> cases[] = {  // preset, its topics, options, what the snapshot then holds
      {"teslamate", "state=charging plugged_in=true time_to_full_charge=1.83 charger_power=11.2", "--unit km",
       R"j({"statusKey":"CHARGING","isDriving":false,"isPluggedIn":true,"fullInMinutes":110,"chargingPowerWatts":11200,"batteryPercentage":64.0,"rangeKm":318,"carTitle":"Blue","modelName":"Model Y LR","odometerKm":12346,"unit":"Kilometers (km)","hasImage":false})j"},
      {"teslamate", "state=updating", "--range rated --unit mi", R"j({"rangeKm":402,"unit":"Miles (mi)","statusKey":"IDLE","isPluggedIn":null})j"},
      {"evcc", "charging=true connected=true chargePower=7400 chargeRemainingDuration=5400", "--unit km", R"j({"statusKey":"CHARGING","isPluggedIn":true,"chargingPowerWatts":7400,"fullInMinutes":90,"batteryPercentage":55.5,"rangeKm":250,"odometerKm":8001,"carTitle":"ID.4","isDriving":false})j"},
  };
  // clang-format on
  int car = 0;
  for (const auto& [preset, topics, options, expected] : cases) {
    const std::string id = std::to_string(++car);
    const bool tesla = preset == std::string("teslamate");
    ASSERT_TRUE(broker.publish(under(preset + std::string(tesla ? "/cars/" : "/loadpoints/") + id + "/",
                                     (tesla ? kTeslaCar : kEvccCar) + topics)));
    const ProgramRun run = feed(std::string(options) + " --once --preset " + preset + " --car " + id);
    ASSERT_EQ(run.exitCode, 0) << topics << ": " << run.err;
    expectFields(stored(), expected, topics);
    EXPECT_TRUE(stored().contains("carReportedAt"));
  }
}

TEST_F(FeedProgram, WholeSnapshotsKeepAllButTheirTimeAndPicture) {
  // A whole document is kept but for writtenAt and hasImage, which follows
  // car.png (saved here with --image); RefusesHostilePayloads has the refused.
  ASSERT_TRUE(broker.publish(
      {{"kelvo/car", R"j({"batteryPercentage":42,"rangeKm":180,"statusKey":"SCHEDULED","isDriving":false,
         "registrationNo":"KV 1","writtenAt":"2020-01-01T00:00:00Z","unit":"Kilometers (km)","hasImage":false})j"}}));
  writeFile(scratch.root() / "car.png", "\x89PNG\r\n\x1a\n");
  const ProgramRun run =
      feed("--once --preset snapshot --topic kelvo/car --image " + (scratch.root() / "car.png").string());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  expectFields(
      stored(),
      R"j({"batteryPercentage":42.0,"registrationNo":"KV 1","unit":"Kilometers (km)","hasImage":true})j",
      "kelvo/car");
  EXPECT_NE(stored().value("writtenAt", ""), "2020-01-01T00:00:00Z");
}

TEST_F(FeedProgram, RefusesHostilePayloadsOnArrivalInBoundedMemory) {
  const fs::path ini = scratch.root() / "map.ini";
  writeFile(ini,
            "[feed]\npreset = map\n[map]\nbatteryPercentage = car/json | json=/a\nrangeKm = - | default=1\n"
            "statusKey = - | default=IDLE\nisDriving = - | default=false\n");
  ::chmod(ini.c_str(), 0600);
  // A document within 1 MiB that would not be once the feed adds carReportedAt.
  std::string full =
      R"j({"batteryPercentage":1,"rangeKm":1,"statusKey":"IDLE","isDriving":false,"unit":"Miles (mi)",)j"
      R"j("writtenAt":"2026-01-01T00:00:00Z","hasImage":false,"carTitle":")j";
  full += std::string((1 << 20) - full.size() - 2, 'x') + "\"}";
  ASSERT_TRUE(broker.publish(under("teslamate/cars/1/", "est_battery_range_km=1 state=online")));
  // clang-format off
  struct Case { std::string args, topic, payload; int exitCode; const char* says; int copies = 1; };
  const Case cases[] = {
      {"--config " + ini.string(), "car/json", "{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}", 1, "nested more than 64 levels deep"},
      {"--preset snapshot --topic car/doc", "car/doc", std::string(1 << 20, '['), 1, "nested more than 64 levels deep"},
      {"--preset snapshot --topic car/doc", "car/doc", full, 1, "bytes once written, more than the 1 MiB"},
      {"--preset snapshot --topic car/doc", "car/doc", std::string(1 << 20, 'x'), 1, "never arrived: car/doc\n", 96},  // the broker drops it unsent
      {"--unit km", "teslamate/cars/1/battery_level", "-0", 0, "wrote the snapshot: 0 %"},
  };
  // clang-format on
  for (const Case& c : cases) {
    ASSERT_TRUE(broker.publish({{c.topic, c.payload}}, Retain::yes, c.copies));
    const ProgramRun run = feed(c.args + " --once --timeout 2");
    EXPECT_TRUE(run.exitCode == c.exitCode && run.err.find(c.says) != std::string::npos)
        << c.args << ": exit " << run.exitCode << ", " << run.err;
    EXPECT_LT(run.peakKiB, 64 << 10) << c.args;
  }
}

// A running daemon, stopped with SIGTERM at the end.
class FeedDaemon : public FeedProgram {
 protected:
  void startDaemon(const std::string& dir, std::vector<std::string> args = {"--unit", "km"}) {
    ASSERT_TRUE(broker.publish(under("teslamate/cars/1/", kTeslaCar + "state=online")));
    args.insert(args.begin(), {"--broker", broker.url(), "--shared-dir", dir});
    daemon = start("kelvo-feed", args, scratch);
  }
  ProgramRun stopDaemon() {
    ::kill(daemon.pid, SIGTERM);
    const ProgramRun run = finishWithin(daemon, 10);
    daemon.pid = -1;
    return run;
  }
  std::string log() const { return readFile(daemon.err); }
  std::size_t writes() const { return count(log(), "wrote the snapshot"); }
  bool storedHas(const std::string& key, const Json& v) const { return stored().value(key, Json()) == v; }
  void TearDown() override {
    if (daemon.pid <= 0) return;
    const ProgramRun run = stopDaemon();
    EXPECT_EQ(run.exitCode, 0) << run.err;
  }

  Started daemon;
};

TEST_F(FeedDaemon, CoalescesBurstsKeepsTheLastGoodValuesAndReconnects) {
  startDaemon(scratch.shared().string());
  ASSERT_TRUE(waitFor([&] { return writes() == 1; }, 10)) << log();
  // 50 messages over every topic in one go: one write with the last values.
  Messages burst;
  const Messages car = under("teslamate/cars/1/", kTeslaCar);
  for (int i = 0; i < 50; ++i) {
    burst.push_back(car[i % car.size()]);
    if (burst.back().first.ends_with("battery_level")) burst.back().second = std::to_string(20 + i);
  }
  burst.emplace_back("teslamate/cars/1/state", "charging");
  ASSERT_TRUE(broker.publish(burst));
  ASSERT_TRUE(waitFor([&] { return storedHas("statusKey", "CHARGING"); }, 5)) << log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // One publisher process per message: on a loaded machine a gap between two
  // can pass the quiet time, so allow a write more than the one expected.
  const std::size_t afterBurst = writes();
  EXPECT_LE(afterBurst, 3u) << log();
  // Each malformed payload is logged once, escaped, and the last good values
  // stay; one too large for the feed is dropped by the broker unsent.
  Messages bad = under("teslamate/cars/1/", "battery_level=abc display_name=Bl\xff\xfe");
  bad.emplace_back("teslamate/cars/1/model", std::string(10 << 20, 'Y'));
  ASSERT_TRUE(broker.publish(bad));
  ASSERT_TRUE(waitFor([&] { return count(log(), "ignored teslamate/cars/1/") == 2; }, 5)) << log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(writes(), afterBurst) << log();
  expectFields(stored(), R"j({"batteryPercentage":69.0,"carTitle":"Blue","modelName":"Model Y LR"})j",
               "after");
  EXPECT_EQ(count(log(), "cars/1/model"), 0u) << log();
  EXPECT_NE(log().find("\"Bl\\xff\\xfe\": not valid UTF-8"), std::string::npos) << "escaped in the log";
  // A flood of them on one topic adds no line until its minute is over.
  ASSERT_TRUE(broker.flood("teslamate/cars/1/battery_level", "abc", 5000));
  ASSERT_TRUE(broker.publish(under("teslamate/cars/1/", "odometer=12400")));
  ASSERT_TRUE(waitFor([&] { return storedHas("odometerKm", 12400); }, 10)) << log();
  EXPECT_EQ(count(log(), "ignored teslamate/cars/1/"), 2u) << log();
  // After the broker restarts, the feed reconnects and follows the new values.
  broker.stop();
  ASSERT_TRUE(waitFor([&] { return log().find("lost the connection") != std::string::npos; }, 5)) << log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a failed attempt or two
  ASSERT_TRUE(broker.start()) << broker.log();
  // The broker kept nothing (persistence false): the publisher sends anew.
  ASSERT_TRUE(broker.publish(under("teslamate/cars/1/", kTeslaCar + "state=charging battery_level=70")));
  ASSERT_TRUE(waitFor([&] { return storedHas("batteryPercentage", 70.0); }, 30)) << log();
  EXPECT_TRUE(storedHas("statusKey", "CHARGING"));
  // On leaving, the flood is counted in one line.
  const ProgramRun run = stopDaemon();
  EXPECT_EQ(
      count(run.err, " more messages on teslamate/cars/1/battery_level within a minute; the last: \"abc\""),
      1u)
      << run.err;
}

TEST_F(FeedDaemon, ReloadsOnSighupAndAOnceRunStoppedBeforeWritingFails) {
  const fs::path ini = scratch.root() / "feed.ini";
  const auto configure = [&](const std::string& unit) {
    writeFile(ini, "[feed]\nunit = " + unit + "\n");
    ::chmod(ini.c_str(), 0600);
  };
  configure("km");
  startDaemon(scratch.shared().string(), {"--config", ini.string()});
  ASSERT_TRUE(waitFor([&] { return writes() == 1; }, 10)) << log();
  configure("mi");
  ::kill(daemon.pid, SIGHUP);
  ASSERT_TRUE(waitFor([&] { return storedHas("unit", "Miles (mi)"); }, 10)) << log();
  // Wrong settings are logged, and the running ones stay (TearDown: exit 0).
  configure("furlongs");
  ::kill(daemon.pid, SIGHUP);
  ASSERT_TRUE(waitFor(
      [&] { return count(log(), "cannot reload the settings, keeping the running ones: ") == 1; }, 10))
      << log();
  const Started once =
      start("kelvo-feed",
            words("--broker " + broker.url() + " --once --timeout 60 --preset snapshot --topic kelvo/never"),
            scratch);
  ASSERT_TRUE(waitFor([&] { return readFile(once.err).find("connected to") != std::string::npos; }, 10));
  ::kill(once.pid, SIGTERM);
  EXPECT_EQ(finishWithin(once, 10).exitCode, 1);
}

TEST_F(FeedDaemon, BacksOffWhenAnotherClientTakesItsSessionOver) {
  const std::vector<std::string> args = {"--unit", "km", "--client-id", "kelvo-twin"};
  startDaemon(scratch.shared().string(), args);
  const Started twin = start(
      "kelvo-feed", {"--broker", broker.url(), "--shared-dir", scratch.shared(), "--client-id", "kelvo-twin"},
      scratch);
  std::this_thread::sleep_for(std::chrono::seconds(8));
  ::kill(twin.pid, SIGTERM);
  const ProgramRun other = finishWithin(twin, 10);
  // Without a back-off, each logs in again every second, 16 logins in all.
  EXPECT_LE(count(broker.log(), " as kelvo-twin "), 10u) << broker.log();
  for (const std::string& err : {log(), other.err})
    EXPECT_EQ(count(err, "another client with this id"), 1u) << err;
}

TEST_F(FeedDaemon, KeepsRunningWithoutASharedDirectoryAndFollowsThePicture) {
  const fs::path later = scratch.root() / "later";
  startDaemon(later.string());
  ASSERT_TRUE(
      waitFor([&] { return count(log(), "cannot write the snapshot: no shared directory") == 1; }, 10))
      << log();
  fs::create_directory(later);
  ASSERT_TRUE(waitFor([&] { return fs::exists(later / "snapshot.json"); }, 10)) << log();
  // hasImage follows car.png appearing in the directory, without any message.
  writeFile(later / "car.png", "\x89PNG\r\n\x1a\n");
  ASSERT_TRUE(waitFor([&] { return count(readFile(later / "snapshot.json"), "\"hasImage\":true") == 1; }, 5))
      << log();
}

TEST(FeedSecurity, PasswordsAndTls) {
  Scratch scratch;
  const std::string password = "s3cret-Pa55";
  const fs::path tls = selfSigned(scratch.root(), "good"), other = selfSigned(scratch.root(), "other");
  ASSERT_FALSE(tls.empty() || other.empty());
  Broker locked(scratch.root() / "locked", password), secure(scratch.root() / "secure", "", tls);
  const Messages car = under("teslamate/cars/1/", "battery_level=30 est_battery_range_km=100 state=asleep");
  for (Broker* broker : {&locked, &secure})
    ASSERT_TRUE(broker->start() && broker->publish(car)) << broker->log();
  const std::string right = scratch.root() / "right", wrong = scratch.root() / "wrong",
                    ini = scratch.root() / "feed.ini", open = scratch.root() / "open.ini",
                    secret = scratch.root() / "secret.ini";
  // Only a config file holding the password itself must be private.
  const std::string config = "[broker]\nusername = kelvo\npassword-file = " + right + "\n";
  for (const auto& [file, text, mode] :
       {std::tuple{right, password + "\n", 0600},
        {wrong, "guess\n"s, 0600},
        {ini, config, 0600},
        {open, config, 0644},
        {secret, "[broker]\nusername = kelvo\npassword = " + password + "\n", 0640}}) {
    writeFile(file, text);
    ::chmod(file.c_str(), mode);
  }
  // clang-format off
  struct Case { const Broker& broker; std::vector<std::string> args; int exitCode; const char* message; std::vector<std::string> environment = {}; };
  const Case cases[] = {
      {locked, {"--username", "kelvo", "--password-file", right}, 0, "wrote the snapshot"},
      {locked, {"--username", "kelvo"}, 0, "wrote the snapshot", {"KELVO_MQTT_PASSWORD=" + password}},
      {locked, {"--username", "kelvo", "--password-file", wrong}, 1, "the broker refused the login: "},
      {locked, {"--config", ini}, 0, "wrote the snapshot"},
      {locked, {"--config", open}, 0, "wrote the snapshot"},
      {locked, {"--config", secret}, 1, "/secret.ini is readable by group or others; refusing it, since it holds the broker password"},
      {secure, {"--cafile", tls}, 0, "wrote the snapshot"},
      {secure, {"--cafile", other}, 1, "certificate verify failed"},
      {secure, {}, 1, "certificate verify failed"},  // the system's CAs
      {secure, {"--cafile", other, "--insecure"}, 0, "warning: --insecure"},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(),
                {"--broker", c.broker.url(), "--once", "--unit", "km", "--shared-dir", scratch.shared()});
    const ProgramRun run = runProgram("kelvo-feed", args, scratch, c.environment);
    const std::string label = c.broker.url() + " " + (c.args.empty() ? "" : c.args.back());
    EXPECT_TRUE(run.exitCode == c.exitCode && run.err.find(c.message) != std::string::npos)
        << label << ": exit " << run.exitCode << ", " << run.err;
    EXPECT_EQ(run.err.find(password), std::string::npos) << label << ": the password is never logged";
    EXPECT_LE(count(run.err, "\n"), 4u) << label << ": " << run.err;
  }
}

TEST(FeedConnection, GivesUpOnASilentHostInTimeAndFallsBackToMqtt311) {
  Scratch scratch;
  const auto url = [](int port) { return "mqtt://127.0.0.1:" + std::to_string(port); };
  // A full accept queue (backlog 0, one connection waiting): the host drops
  // every further connection request unanswered.
  int full = -1, filler = -1;
  const int silent = loopback(0, 0, &full);
  loopback(silent, -1, &filler);
  const ProgramRun gaveUp =
      finishWithin(start("kelvo-feed", {"--broker", url(silent), "--once", "--timeout", "1"}, scratch), 20);
  EXPECT_TRUE(gaveUp.exitCode == 1 && gaveUp.err.find("was not reachable within 1.0 s") != std::string::npos)
      << gaveUp.err;

  // An MQTT 3.1.1 broker answers an MQTT 5 login with "unacceptable protocol
  // version" (no 3.1.1-only broker is packaged for Debian).
  int listener = -1;
  const int old = loopback(0, 4, &listener);
  std::vector<int> levels;  // the protocol level of each login
  std::thread peer([&] {
    unsigned char packet[512];
    for (const unsigned char code : {1, 0}) {  // refused, then accepted
      pollfd waiting{listener, POLLIN, 0};
      const int client = ::poll(&waiting, 1, 10000) == 1 ? ::accept(listener, nullptr, nullptr) : -1;
      if (::read(client, packet, sizeof packet) > 8) levels.push_back(packet[8]);  // after "\0\4MQTT"
      const unsigned char connack[] = {0x20, 2, 0, code};
      bool open = ::write(client, connack, 4) == 4 && code == 0;  // held until the feed leaves
      for (pollfd reading{client, POLLIN, 0}; open && ::poll(&reading, 1, 10000) == 1;)
        open = ::read(client, packet, sizeof packet) > 0;
      ::close(client);
    }
  });
  const ProgramRun run =
      finishWithin(start("kelvo-feed", {"--broker", url(old), "--once", "--timeout", "2"}, scratch), 20);
  peer.join();
  for (const int fd : {full, filler, listener}) ::close(fd);
  EXPECT_EQ(levels, (std::vector<int>{5, 4}));
  EXPECT_NE(run.err.find("speaks MQTT 3.1.1 only"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("connected to " + url(old)), std::string::npos) << run.err;
}

TEST(FeedCommandLine, RefusesABadStartWithOneLineAndKeepsThePicture) {  // no option takes the password itself
  Scratch scratch;
  const fs::path root = scratch.root(), fifo = root / "fifo", blank = root / "blank",
                 locked = root / "config";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  writeFile(blank, "\nsecret\n");
  ::chmod(blank.c_str(), 0600);
  fs::create_directories(locked / "kelvo");
  fs::permissions(locked / "kelvo", fs::perms::none);
  makeUnprivilegedOwner(scratch, locked);
  scratch.write("car.png", "old picture");
  // clang-format off
  struct Case { std::vector<std::string> args; int exitCode; std::string says; std::vector<std::string> environment = {}; bool unprivileged = false; };
  const Case cases[] = {
      {{"--broker", "http://host"}, 2, "mqtt://HOST"}, {{"--preset", "tesla"}, 2, "tesla"}, {{"--unit", "miles"}, 2, "miles"},
{{"--timeout", "0"}, 2, "--timeout"}, {{"--timeout", "nan"}, 2, "--timeout"},
      {{"--timeout", "inf"}, 2, "--timeout"}, {{"--shared-dir", ""}, 2, "--shared-dir: needs a directory"},
      {{"--broker", "mqtt://\x1b[2Jhost"}, 2, "control character"},
      {{"--image", root}, 1, "is not a regular file"}, {{"--image", fifo}, 1, "fifo is not a regular file"},
      {{"--config", fifo}, 1, "fifo: not a regular file"}, {{"--username", "u", "--password-file", fifo}, 1, "fifo: not a regular file"},
      {{"--username", "u", "--password-file", blank}, 1, "the first line is blank"},
      {{"--car", "1\x1b[2J"}, 1, "cars/1\\x1b[2J/"}, {{"--prefix", std::string(65530, 'p')}, 1, "is longer than 1024 bytes"},
      {{}, 1, "File name too long", {"XDG_CONFIG_HOME=/" + std::string(5000, 'x')}},
      {{}, 1, "kelvo/feed.ini: cannot open: Permission denied", {"XDG_CONFIG_HOME=" + locked.string()}, true},  // unsearchable
  };
  // clang-format on
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (std::find(args.begin(), args.end(), "--shared-dir") == args.end())
      args.insert(args.end(), {"--shared-dir", scratch.shared()});
    const Launch launch{c.environment, -1, -1, c.unprivileged};
    const ProgramRun run = finishWithin(start("kelvo-feed", args, scratch, launch), 10);
    const std::string label =
        c.args.empty() ? c.environment[0].substr(0, 40) : c.args[0] + " " + c.args.back().substr(0, 40);
    EXPECT_TRUE(run.exitCode == c.exitCode && count(run.err, "\n") == 1 &&
                run.err.find(c.says) != std::string::npos)
        << label << ": exit " << run.exitCode << ", " << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << label << ": escaped";
    EXPECT_EQ(readFile(scratch.shared() / "car.png"), "old picture") << label;
  }
}

}  // namespace
