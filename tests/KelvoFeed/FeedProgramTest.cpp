// kelvo-feed against a real Mosquitto broker started by each test: retained
// topics in the TeslaMate, evcc and custom layouts, the running daemon,
// malformed payloads, lost brokers, passwords and TLS.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Broker.h"
#include "ProgramRunner.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using kelvo::testing::Broker;
using kelvo::testing::ProgramRun;
using kelvo::testing::readFile;
using kelvo::testing::Scratch;
using Messages = std::vector<std::pair<std::string, std::string>>;

// Polls `done` every 50 ms until it holds or `seconds` pass.
bool waitFor(const std::function<bool()>& done, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Messages under `base` ("teslamate/cars/3/") from "suffix=payload" pairs.
Messages under(const std::string& base, const std::vector<std::pair<std::string, std::string>>& values) {
  Messages messages;
  for (const auto& [suffix, payload] : values) messages.emplace_back(base + suffix, payload);
  return messages;
}

void writePrivate(const fs::path& file, const std::string& text, mode_t mode = 0600) {
  std::ofstream(file) << text;
  ::chmod(file.c_str(), mode);
}

// Every key of `expected` has that value in `actual`; a null means absent.
void expectFields(const Json& actual, const Json& expected, const std::string& label) {
  for (const auto& [key, value] : expected.items()) {
    if (value.is_null()) {
      EXPECT_FALSE(actual.contains(key)) << label << ": " << key << " should be absent in " << actual;
    } else {
      EXPECT_EQ(actual.value(key, Json()), value) << label << ": " << key << " in " << actual;
    }
  }
}

class FeedProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    broker = std::make_unique<Broker>(scratch.root());
    ASSERT_TRUE(broker->start()) << broker->log();
  }

  std::vector<std::string> base(std::vector<std::string> extra) const {
    std::vector<std::string> args = {"--broker", broker->url(), "--shared-dir", scratch.shared().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  ProgramRun feed(std::vector<std::string> extra, const std::vector<std::string>& environment = {}) const {
    return kelvo::testing::runProgram("kelvo-feed", base(std::move(extra)), scratch, environment);
  }
  Json stored() const {
    return Json::parse(readFile(scratch.shared() / "snapshot.json"), nullptr, /*allow_exceptions=*/false);
  }

  Scratch scratch;
  std::unique_ptr<Broker> broker;
};

// The same car data each case starts from.
const std::vector<std::pair<std::string, std::string>> kTeslaCar = {
    {"battery_level", "64"},
    {"est_battery_range_km", "318.4"},
    {"rated_battery_range_km", "401.63"},
    {"display_name", "Blue"},
    {"model", "Y"},
    {"trim_badging", "LR"},
    {"odometer", "12345.6"},
};

TEST_F(FeedProgram, TeslaMateRetainedTopicsGiveTheSnapshotByTheStatusRules) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> topics;
    std::vector<std::string> args;
    Json expected;
  };
  const std::vector<Case> cases = {
      {"charging",
       {{"state", "charging"},
        {"plugged_in", "true"},
        {"time_to_full_charge", "1.83"},
        {"charger_power", "11.2"}},
       {},
       {{"statusKey", "CHARGING"},
        {"isDriving", false},
        {"isPluggedIn", true},
        {"fullInMinutes", 110},
        {"chargingPowerWatts", 11200},
        {"batteryPercentage", 64.0},
        {"rangeKm", 318},
        {"carTitle", "Blue"},
        {"modelName", "Model Y LR"},
        {"odometerKm", 12346},
        {"unit", "Kilometers (km)"},
        {"hasImage", false}}},
      {"driving",
       {{"state", "driving"}, {"plugged_in", "false"}, {"time_to_full_charge", "1"}, {"charger_power", "0"}},
       {},
       {{"statusKey", "IDLE"},
        {"isDriving", true},
        {"isPluggedIn", false},
        {"fullInMinutes", nullptr},
        {"chargingPowerWatts", nullptr}}},
      {"done: plugged in at the limit",
       {{"state", "online"}, {"plugged_in", "true"}, {"charge_limit_soc", "60"}},
       {},
       {{"statusKey", "DONE"}, {"isDriving", false}, {"isPluggedIn", true}}},
      {"scheduled",
       {{"state", "asleep"},
        {"plugged_in", "true"},
        {"charge_limit_soc", "90"},
        {"scheduled_charging_start_time", "2026-12-07T01:00:00Z"}},
       {},
       {{"statusKey", "SCHEDULED"}, {"isPluggedIn", true}}},
      {"idle: plugged in below the limit",
       {{"state", "suspended"}, {"plugged_in", "true"}, {"charge_limit_soc", "90"}},
       {},
       {{"statusKey", "IDLE"}, {"isPluggedIn", true}}},
      {"idle: unplugged with a schedule",
       {{"state", "offline"},
        {"plugged_in", "false"},
        {"scheduled_charging_start_time", "2026-12-07T01:00:00Z"}},
       {},
       {{"statusKey", "IDLE"}, {"isPluggedIn", false}}},
      {"rated range in miles, updating",
       {{"state", "updating"}},
       {"--range", "rated", "--unit", "mi"},
       {{"rangeKm", 402}, {"unit", "Miles (mi)"}, {"statusKey", "IDLE"}, {"isPluggedIn", nullptr}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string car = std::to_string(i + 1);
    auto topics = kTeslaCar;
    topics.insert(topics.end(), c.topics.begin(), c.topics.end());
    ASSERT_TRUE(broker->publish(under("teslamate/cars/" + car + "/", topics)));
    std::vector<std::string> args = {"--once", "--car", car};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.args.empty()) args.insert(args.end(), {"--unit", "km"});
    const ProgramRun run = feed(args);
    ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
    const Json snapshot = stored();
    expectFields(snapshot, c.expected, c.name);
    EXPECT_TRUE(snapshot.contains("carReportedAt")) << c.name;
  }
}

TEST_F(FeedProgram, EvccUnitsAndStatusRules) {
  const std::vector<std::pair<std::string, std::string>> car = {{"vehicleSoc", "55.5"},
                                                                {"vehicleRange", "250.4"},
                                                                {"vehicleOdometer", "8000.5"},
                                                                {"vehicleTitle", "ID.4"}};
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> topics;
    Json expected;
  };
  const std::vector<Case> cases = {
      {"charging; W stay W, seconds become minutes",
       {{"charging", "true"},
        {"connected", "true"},
        {"chargePower", "7400"},
        {"chargeRemainingDuration", "5400"}},
       {{"statusKey", "CHARGING"},
        {"isPluggedIn", true},
        {"chargingPowerWatts", 7400},
        {"fullInMinutes", 90},
        {"batteryPercentage", 55.5},
        {"rangeKm", 250},
        {"odometerKm", 8001},
        {"carTitle", "ID.4"},
        {"isDriving", false}}},
      {"plan active; nanoseconds",
       {{"charging", "true"}, {"planActive", "true"}, {"chargeRemainingDuration", "5400000000000"}},
       {{"statusKey", "SMART_CHARGING"}, {"fullInMinutes", 90}}},
      {"smart cost; Go duration text",
       {{"charging", "true"}, {"smartCostActive", "true"}, {"chargeRemainingDuration", "1h29m40s"}},
       {{"statusKey", "SMART_CHARGING"}, {"fullInMinutes", 90}}},
      {"done at the limit",
       {{"charging", "false"}, {"connected", "true"}, {"effectiveLimitSoc", "50"}, {"chargePower", "0"}},
       {{"statusKey", "DONE"}, {"chargingPowerWatts", nullptr}, {"fullInMinutes", nullptr}}},
      {"scheduled by a plan",
       {{"charging", "false"},
        {"connected", "true"},
        {"effectiveLimitSoc", "80"},
        {"planProjectedStart", "1796540400"}},
       {{"statusKey", "SCHEDULED"}}},
      {"no plan (empty payload)",
       {{"charging", "false"}, {"connected", "true"}, {"planProjectedStart", ""}},
       {{"statusKey", "IDLE"}, {"isPluggedIn", true}}},
      {"unplugged",
       {{"charging", "false"}, {"connected", "false"}},
       {{"statusKey", "IDLE"}, {"isPluggedIn", false}}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string id = std::to_string(i + 1);
    auto topics = car;
    topics.insert(topics.end(), c.topics.begin(), c.topics.end());
    ASSERT_TRUE(broker->publish(under("evcc/loadpoints/" + id + "/", topics)));
    const ProgramRun run = feed({"--once", "--preset", "evcc", "--car", id, "--unit", "km"});
    ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
    expectFields(stored(), c.expected, c.name);
  }
}

TEST_F(FeedProgram, CustomMapAndWholeSnapshotTopics) {
  const fs::path config = scratch.root() / "feed.ini";
  writePrivate(config,
               "# Home Assistant statestream and an automation\n"
               "[feed]\npreset = map\nunit = mi\n"
               "[map]\n"
               "batteryPercentage = ha/car/state | json=/soc\n"
               "rangeKm = ha/car/range_mi | scale=1.609344\n"
               "statusKey = ha/car/charging | map=on:CHARGING,off:IDLE\n"
               "isDriving = - | default=false\n"
               "chargingPowerWatts = ha/car/state | json=/power_kw | scale=1000\n"
               "carTitle = ha/car/state | json=/name\n"
               "carReportedAt = ha/car/state | json=/updated\n");
  ASSERT_TRUE(broker->publish(
      {{"ha/car/state",
        R"({"soc": 71.5, "power_kw": 3.7, "name": "Zoé", "updated": "2026-12-06T20:00:00Z"})"},
       {"ha/car/range_mi", "100"},
       {"ha/car/charging", "on"}}));
  const ProgramRun mapped = feed({"--once", "--config", config.string()});
  ASSERT_EQ(mapped.exitCode, 0) << mapped.err;
  expectFields(stored(),
               {{"batteryPercentage", 71.5},
                {"rangeKm", 161},
                {"statusKey", "CHARGING"},
                {"isDriving", false},
                {"chargingPowerWatts", 3700},
                {"carTitle", "Zoé"},
                {"carReportedAt", "2026-12-06T20:00:00Z"},
                {"unit", "Miles (mi)"}},
               "map");

  // A whole document: kept as sent but for the moment of writing and the
  // picture flag, which follows car.png (saved here with --image).
  const Json document = {{"batteryPercentage", 42},    {"rangeKm", 180},
                         {"statusKey", "SCHEDULED"},   {"isDriving", false},
                         {"registrationNo", "KV 123"}, {"writtenAt", "2020-01-01T00:00:00Z"},
                         {"unit", "Kilometers (km)"},  {"hasImage", false}};
  ASSERT_TRUE(broker->publish({{"kelvo/car", document.dump()}}));
  const fs::path picture = scratch.root() / "car.png";
  std::ofstream(picture) << "\x89PNG\r\n\x1a\n";
  const ProgramRun whole =
      feed({"--once", "--preset", "snapshot", "--topic", "kelvo/car", "--image", picture.string()});
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  const Json snapshot = stored();
  expectFields(snapshot,
               {{"batteryPercentage", 42.0},
                {"registrationNo", "KV 123"},
                {"statusKey", "SCHEDULED"},
                {"unit", "Kilometers (km)"},
                {"hasImage", true}},
               "snapshot");
  EXPECT_NE(snapshot.value("writtenAt", ""), "2020-01-01T00:00:00Z");
  EXPECT_TRUE(fs::exists(scratch.shared() / "car.png"));

  // A document the widget would refuse is ignored: --once ends without one.
  ASSERT_TRUE(broker->publish({{"kelvo/bad", R"({"batteryPercentage": "lots"})"}}));
  const ProgramRun bad = feed({"--once", "--preset", "snapshot", "--topic", "kelvo/bad", "--timeout", "1"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("ignored kelvo/bad"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("never arrived: kelvo/bad"), std::string::npos) << bad.err;
}

TEST_F(FeedProgram, OnceNamesTheRequiredValuesThatNeverArrived) {
  ASSERT_TRUE(broker->publish({{"teslamate/cars/9/battery_level", "50"}}));
  const ProgramRun run = feed({"--once", "--car", "9", "--timeout", "1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("never arrived: teslamate/cars/9/est_battery_range_km, teslamate/cars/9/state"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(scratch.shared() / "snapshot.json"));
}

// A running daemon, stopped with SIGTERM at the end.
class FeedDaemon : public FeedProgram {
 protected:
  void startDaemon(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--unit", "km"});
    daemon = kelvo::testing::start("kelvo-feed", base(std::move(extra)), scratch);
    ASSERT_GT(daemon.pid, 0);
  }
  std::string log() const { return readFile(daemon.err); }
  std::size_t writes() const { return count(log(), "wrote the snapshot"); }
  bool storedHas(const std::string& key, const Json& value) const {
    const Json snapshot = stored();
    return snapshot.is_object() && snapshot.value(key, Json()) == value;
  }
  void TearDown() override {
    if (daemon.pid <= 0) return;
    ::kill(daemon.pid, SIGTERM);
    const ProgramRun run = kelvo::testing::finish(daemon);
    EXPECT_EQ(run.exitCode, 0) << run.err;
  }

  kelvo::testing::Started daemon;
};

TEST_F(FeedDaemon, FollowsChangesAndCoalescesABurstIntoOneWrite) {
  auto car = kTeslaCar;
  car.emplace_back("state", "online");
  ASSERT_TRUE(broker->publish(under("teslamate/cars/1/", car)));
  startDaemon();
  ASSERT_TRUE(waitFor([&] { return storedHas("batteryPercentage", 64.0); }, 10)) << log();

  ASSERT_TRUE(broker->publish({{"teslamate/cars/1/battery_level", "65"}}));
  ASSERT_TRUE(waitFor([&] { return storedHas("batteryPercentage", 65.0); }, 5)) << log();
  ASSERT_TRUE(waitFor([&] { return writes() == 2; }, 2)) << log();

  // 50 messages over every topic in one go: one write with the last values.
  Messages burst;
  for (int i = 0; i < 50; ++i) {
    const auto& [suffix, payload] = kTeslaCar[i % kTeslaCar.size()];
    burst.emplace_back("teslamate/cars/1/" + suffix,
                       suffix == "battery_level" ? std::to_string(20 + i) : payload);
  }
  burst.emplace_back("teslamate/cars/1/state", "charging");
  ASSERT_TRUE(broker->publish(burst));
  ASSERT_TRUE(waitFor([&] { return storedHas("statusKey", "CHARGING"); }, 5)) << log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(writes(), 3u) << log();
  EXPECT_TRUE(storedHas("batteryPercentage", 69.0));  // 20 + 49, the burst's last battery level
}

TEST_F(FeedDaemon, MalformedPayloadsChangeNothing) {
  auto car = kTeslaCar;
  car.emplace_back("state", "online");
  ASSERT_TRUE(broker->publish(under("teslamate/cars/1/", car)));
  startDaemon();
  ASSERT_TRUE(waitFor([&] { return writes() == 1; }, 10)) << log();
  const Json before = stored();

  const Messages bad = {
      {"teslamate/cars/1/battery_level", "abc"},       {"teslamate/cars/1/battery_level", "150"},
      {"teslamate/cars/1/battery_level", "nan"},       {"teslamate/cars/1/est_battery_range_km", "1e999"},
      {"teslamate/cars/1/est_battery_range_km", "-5"}, {"teslamate/cars/1/display_name", "Bl\xff\xfe"},
      {"teslamate/cars/1/state", "\xc3\x28"},          {"teslamate/cars/1/plugged_in", "maybe"},
      {"teslamate/cars/1/odometer", "0x10"},           {"teslamate/cars/1/model", std::string(10 << 20, 'Y')},
  };
  ASSERT_TRUE(broker->publish(bad));
  // A good value afterwards shows the daemon still reads, and kept the rest.
  ASSERT_TRUE(broker->publish({{"teslamate/cars/1/odometer", "20000"}}));
  ASSERT_TRUE(waitFor([&] { return storedHas("odometerKm", 20000); }, 5)) << log();
  Json after = stored();
  for (const char* key : {"odometerKm", "writtenAt", "carReportedAt"}) {
    after.erase(key);
  }
  Json expected = before;
  for (const char* key : {"odometerKm", "writtenAt", "carReportedAt"}) expected.erase(key);
  EXPECT_EQ(after, expected);
  const std::string text = log();
  EXPECT_EQ(count(text, "ignored teslamate/cars/1/"), bad.size()) << text;
  EXPECT_NE(text.find("10485760 bytes"), std::string::npos);
  EXPECT_NE(text.find("Bl\\xff\\xfe"), std::string::npos) << "bytes are escaped in the log";
  // The log line follows the file; the bad payloads added no write of their own.
  EXPECT_TRUE(waitFor([&] { return writes() >= 2; }, 2));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(writes(), 2u) << log();
}

TEST_F(FeedDaemon, ReconnectsAfterTheBrokerRestartsAndWritesTheNewValues) {
  auto car = kTeslaCar;
  car.emplace_back("state", "online");
  ASSERT_TRUE(broker->publish(under("teslamate/cars/1/", car)));
  startDaemon();
  ASSERT_TRUE(waitFor([&] { return writes() == 1; }, 10)) << log();

  broker->stop();
  ASSERT_TRUE(waitFor([&] { return log().find("lost the connection") != std::string::npos; }, 5)) << log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a failed attempt or two
  ASSERT_TRUE(broker->start()) << broker->log();
  // The broker kept nothing (persistence false): the publisher sends anew.
  car.back() = {"state", "charging"};
  car.emplace_back("battery_level", "70");
  ASSERT_TRUE(broker->publish(under("teslamate/cars/1/", car)));
  ASSERT_TRUE(waitFor([&] { return storedHas("batteryPercentage", 70.0); }, 30)) << log();
  EXPECT_TRUE(storedHas("statusKey", "CHARGING"));
  EXPECT_EQ(count(log(), "connected to"), 2u) << log();
}

TEST_F(FeedDaemon, KeepsRunningWithoutASharedDirectoryAndFollowsThePicture) {
  const fs::path later = scratch.root() / "later";
  ASSERT_TRUE(broker->publish(under(
      "teslamate/cars/1/", {{"battery_level", "50"}, {"est_battery_range_km", "200"}, {"state", "online"}})));
  daemon = kelvo::testing::start(
      "kelvo-feed", {"--broker", broker->url(), "--shared-dir", later.string(), "--unit", "km"}, scratch);
  ASSERT_TRUE(
      waitFor([&] { return count(log(), "cannot write the snapshot: no shared directory") >= 1; }, 10))
      << log();
  fs::create_directory(later);
  ASSERT_TRUE(waitFor([&] { return fs::exists(later / "snapshot.json"); }, 10)) << log();
  EXPECT_EQ(count(log(), "wrote the snapshot"), 1u);

  // hasImage follows car.png appearing in the directory, without any message.
  std::ofstream(later / "car.png") << "\x89PNG\r\n\x1a\n";
  ASSERT_TRUE(waitFor(
      [&] { return readFile(later / "snapshot.json").find("\"hasImage\":true") != std::string::npos; }, 5))
      << log();
}

TEST(FeedSecurity, PasswordsAndTls) {
  Scratch scratch;
  const std::string password = "s3cret-Pa55";
  Broker broker(scratch.root(), kelvo::testing::BrokerAuth{"kelvo", password});
  ASSERT_TRUE(broker.start()) << broker.log();
  ASSERT_TRUE(broker.publish(under(
      "teslamate/cars/1/", {{"battery_level", "30"}, {"est_battery_range_km", "100"}, {"state", "asleep"}})));
  const fs::path right = scratch.root() / "right", wrong = scratch.root() / "wrong",
                 open = scratch.root() / "open";
  writePrivate(right, password + "\n");
  writePrivate(wrong, "guess\n");
  writePrivate(open, password + "\n", 0644);
  const fs::path openConfig = scratch.root() / "open.ini";
  writePrivate(openConfig, "[broker]\nusername = kelvo\npassword_file = " + right.string() + "\n", 0640);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> environment;
    int exitCode;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"right password",
       {"--username", "kelvo", "--password-file", right.string()},
       {},
       0,
       "wrote the snapshot"},
      {"from the environment",
       {"--username", "kelvo"},
       {"KELVO_MQTT_PASSWORD=" + password},
       0,
       "wrote the snapshot"},
      {"wrong password",
       {"--username", "kelvo", "--password-file", wrong.string()},
       {},
       1,
       "the broker refused the login"},
      {"no password", {}, {}, 1, "the broker refused the login"},
      {"readable password file",
       {"--username", "kelvo", "--password-file", open.string()},
       {},
       1,
       "is readable by group or others; refusing it"},
      {"readable config file", {"--config", openConfig.string()}, {}, 1, "is readable by group or others"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--broker", broker.url(), "--shared-dir", scratch.shared().string(),
                                     "--once",   "--unit",     "km",           "--timeout",
                                     "5"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = kelvo::testing::runProgram("kelvo-feed", args, scratch, c.environment);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.err.find(password), std::string::npos) << c.name << ": the password is never logged";
    EXPECT_LE(count(run.err, "refused the login"), 1u) << c.name << ": one clear line";
  }

  // TLS with a CA made here; a different CA is refused, --insecure is not
  // refused but warned about.
  const auto tls = kelvo::testing::makeTestCertificates(scratch.root(), "good");
  const auto other = kelvo::testing::makeTestCertificates(scratch.root(), "other");
  ASSERT_TRUE(tls && other);
  Scratch tlsScratch;
  Broker secure(tlsScratch.root(), std::nullopt, tls);
  ASSERT_TRUE(secure.start()) << secure.log();
  ASSERT_TRUE(secure.publish(under(
      "teslamate/cars/1/", {{"battery_level", "31"}, {"est_battery_range_km", "100"}, {"state", "asleep"}})));
  const std::vector<Case> tlsCases = {
      {"our CA", {"--cafile", tls->cafile.string()}, {}, 0, "wrote the snapshot"},
      {"another CA", {"--cafile", other->cafile.string()}, {}, 1, "certificate verify failed"},
      {"the system's CAs", {}, {}, 1, "certificate verify failed"},
      {"insecure", {"--cafile", other->cafile.string(), "--insecure"}, {}, 0, "warning: --insecure"},
  };
  for (const Case& c : tlsCases) {
    std::vector<std::string> args = {"--broker", secure.url(), "--shared-dir", tlsScratch.shared().string(),
                                     "--once",   "--unit",     "km",           "--timeout",
                                     "5"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = kelvo::testing::runProgram("kelvo-feed", args, tlsScratch);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
  }
}

TEST_F(FeedProgram, TheWidgetShowsThePublishedPercentage) {
  ASSERT_TRUE(broker->publish(under("teslamate/cars/1/", {{"battery_level", "87"},
                                                          {"est_battery_range_km", "402"},
                                                          {"state", "charging"},
                                                          {"plugged_in", "true"}})));
  const ProgramRun fed = feed({"--once", "--unit", "km"});
  ASSERT_EQ(fed.exitCode, 0) << fed.err;
  const ProgramRun drawn = kelvo::testing::runProgram(
      "kelvo-widget",
      {"render", "--shared-dir", scratch.shared().string(), "--format", "json", "--family", "small"},
      scratch);
  ASSERT_EQ(drawn.exitCode, 0) << drawn.err;
  std::vector<std::string> texts;
  const std::function<void(const Json&)> collect = [&](const Json& node) {
    if (node.is_object() && node.contains("text") && node["text"].is_string()) texts.push_back(node["text"]);
    if (node.is_structured()) {
      for (const auto& child : node) collect(child);
    }
  };
  collect(Json::parse(drawn.out));
  EXPECT_NE(std::find(texts.begin(), texts.end(), "87%"), texts.end()) << drawn.out;
  EXPECT_NE(std::find(texts.begin(), texts.end(), "402 km"), texts.end());
}

TEST(FeedCommandLine, HelpAndUsageErrors) {
  Scratch scratch;
  const ProgramRun help = kelvo::testing::runProgram("kelvo-feed", {"--help"}, scratch);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--password-file"), std::string::npos);
  EXPECT_EQ(help.out.find("--password "), std::string::npos) << "no option takes the password itself";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--broker", "http://host"},
                                               {"--preset", "tesla"},
                                               {"--unit", "miles"},
                                               {"--password", "x"},
                                               {"--timeout", "0"}}) {
    const ProgramRun run = kelvo::testing::runProgram("kelvo-feed", args, scratch);
    EXPECT_EQ(run.exitCode, 2) << args[0];
    EXPECT_EQ(count(run.err, "\n"), 1u) << run.err;
  }
}

}  // namespace
