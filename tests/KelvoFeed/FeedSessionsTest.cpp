// Whole sessions of TeslaMate and evcc replayed through the running kelvo-feed
// and a real broker, each message in its source's own payload form and
// order: TeslaMate sends one update's changed values in no fixed order,
// evcc republishes its status with every tick of its clock. After each step:
// the snapshot's fields and the status bar's line.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "FeedBroker.h"
#include "KelvoShared/Date.h"

namespace {

using namespace kelvo::testing;
using Json = nlohmann::json;

enum class Then {
  publish,  // the messages; the snapshot then holds the fields
  quiet,    // the messages, after which nothing may be written
  restart,  // the feed restarts and reads the retained messages
};

// "key=value ..." under the car's level ("/key": under the prefix; "!key": not
// retained, "key=": empty). In messages and fields, {t±N} is the session's
// start plus N seconds in RFC 3339 and {u±N} the same in Unix seconds.
// Fields: "" means no snapshot; carReportedAt "live" is the time of the step,
// "same" the time before it.
struct Step {
  const char* what;
  Then then;
  std::string messages;
  std::string fields;
  const char* line;  // kelvo-widget status a minute after the report ("": not checked)
};

class FeedSessions : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(broker.start()) << broker.log(); }
  void TearDown() override { stop(); }

  // `everyCycle`: the keys the source republishes with every clock tick.
  void replay(const std::string& preset, const std::string& root, const std::string& car,
              const std::vector<Step>& steps, const std::vector<std::string>& everyCycle = {});

  void startFeed(const std::string& preset) {
    daemon = start("kelvo-feed",
                   {"--broker", broker.url(), "--shared-dir", scratch.shared(), "--unit", "km", "--preset",
                    preset, "-v"},
                   scratch);
  }
  void stop() {
    if (daemon.pid <= 0) return;
    ::kill(daemon.pid, SIGTERM);
    const ProgramRun run = finish(daemon);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    earlierLogs += run.err;
    daemon = {};
  }
  std::string log() const { return earlierLogs + (daemon.pid > 0 ? readFile(daemon.err) : ""); }
  Json stored() const {
    const auto file = scratch.shared() / "snapshot.json";
    return std::filesystem::exists(file) ? Json::parse(readFile(file), nullptr, false) : Json();
  }
  std::string storedTime() const {
    const Json snapshot = stored();
    return snapshot.is_object() ? snapshot.value("carReportedAt", "") : "";
  }

  Scratch scratch;
  Broker broker{scratch.root()};
  Started daemon;
  std::string earlierLogs;
};

// `text` with {t±N} and {u±N} filled in from `start`.
std::string timed(const std::string& text, double start) {
  static const std::regex token(R"(\{([tu])([-+]\d+)\})");
  std::string out;
  std::sregex_iterator it(text.begin(), text.end(), token), end;
  std::size_t done = 0;
  for (; it != end; ++it) {
    const double at = start + std::stod((*it)[2]);
    out += text.substr(done, it->position() - done);
    out += (*it)[1] == "t" ? kelvo::formatInternetDateTime(kelvo::Date{at}) : std::to_string(std::lround(at));
    done = it->position() + it->length();
  }
  return out + text.substr(done);
}

void FeedSessions::replay(const std::string& preset, const std::string& root, const std::string& car,
                          const std::vector<Step>& steps, const std::vector<std::string>& everyCycle) {
  const double start = std::floor(kelvo::Date::now().secondsSince1970) - 20000;
  std::size_t received = 0;                  // messages the feed has logged
  std::map<std::string, std::string> cycle;  // the last "key=value" of each key in everyCycle
  for (const Step& step : steps) {
    const std::string label = step.what;
    const std::string before = storedTime();
    const std::size_t writes = count(log(), "wrote the snapshot");
    const double stepStart = kelvo::Date::now().secondsSince1970;
    std::vector<std::string> pairs;
    std::istringstream in(timed(step.messages, start));
    for (std::string pair; in >> pair;) pairs.push_back(pair);
    const auto keyOf = [](const std::string& pair) { return pair.substr(0, pair.find('=')); };
    // A step that starts with a clock tick is a control cycle: the rest is sent again too.
    for (const std::string& key : everyCycle) {
      const bool given =
          std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) { return keyOf(p) == key; });
      if (!given && cycle.contains(key) && !pairs.empty() && pairs[0].starts_with("/updated=") &&
          pairs[0].size() > 9)
        pairs.insert(pairs.begin() + 1, cycle[key]);
    }
    for (const std::string& pair : pairs) {
      const Retain retain = pair.starts_with('!') ? Retain::no : Retain::yes;
      const std::string key = keyOf(pair.substr(retain == Retain::yes ? 0 : 1));
      if (std::find(everyCycle.begin(), everyCycle.end(), key) != everyCycle.end()) cycle[key] = pair;
      const std::string topic = key.starts_with('/') ? root + key.substr(1) : car + key;
      ASSERT_TRUE(broker.publish({{topic, pair.substr(pair.find('=') + 1)}}, retain)) << broker.log();
      received += daemon.pid > 0 ? 1 : 0;  // one that comes before the feed is retained, not received
    }
    if (step.then == Then::restart) {
      stop();
      startFeed(preset);
      const char* sign = step.fields.empty() ? "listening on" : "wrote the snapshot";
      ASSERT_TRUE(waitFor([&] { return count(readFile(daemon.err), sign) > 0; }, 10)) << label << log();
      received = count(log(), "kelvo-feed: message ");
    }
    ASSERT_TRUE(waitFor([&] { return count(log(), "kelvo-feed: message ") >= received; }, 10))
        << label << log();

    Json fields = step.fields.empty() ? Json() : Json::parse(timed(step.fields, start));
    const std::string reportedAt = fields.is_object() ? fields.value("carReportedAt", "") : "";
    if (reportedAt == "live") fields.erase("carReportedAt");
    if (reportedAt == "same") fields["carReportedAt"] = before;
    // A "live" time lies within the step.
    const auto live = [&] {
      const auto at = kelvo::parseInternetDateTime(storedTime());
      return at && at->secondsSince1970 >= std::floor(stepStart) &&
             at->secondsSince1970 <= kelvo::Date::now().secondsSince1970;
    };
    const auto matches = [&] {
      const Json now = stored();
      if (fields.is_null() || !now.is_object()) return fields == now;
      for (const auto& [key, value] : fields.items()) {
        if (now.value(key, Json()) != value) return false;
      }
      return reportedAt != "live" || live();
    };
    if (step.then == Then::quiet) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // past the longest write delay
      EXPECT_EQ(count(log(), "wrote the snapshot"), writes) << label << log();
    }
    EXPECT_TRUE(waitFor(matches, 10)) << label << ": " << stored().dump() << " wanted " << fields.dump()
                                      << (reportedAt == "live" ? " written during the step" : "");
    if (*step.line != '\0') {
      const auto at = kelvo::parseInternetDateTime(storedTime());
      ASSERT_TRUE(at) << label;
      const ProgramRun status = runProgram("kelvo-widget",
                                           {"status", "--shared-dir", scratch.shared(), "--now",
                                            kelvo::formatInternetDateTime(at->addingTimeInterval(60))},
                                           scratch);
      EXPECT_EQ(status.out, step.line + std::string("\n")) << label << status.err;
    }
  }
  EXPECT_EQ(count(log(), "ignored"), 0u) << log();
}

TEST_F(FeedSessions, TeslaMate) {
  // clang-format off
  replay("teslamate", "teslamate/", "teslamate/cars/1/", {
      {"asleep, plugged in, a charge scheduled (retained, the feed starts)", Then::restart,
       "display_name=Blue model=Y trim_badging=LR odometer=1.2345e4 battery_level=64 est_battery_range_km=318.43 "
       "charge_limit_soc=80 plugged_in=true charging_state=Stopped scheduled_charging_start_time={t+30000} "
       "time_to_full_charge= charger_power= state=asleep since={t-7200}",
       R"({"statusKey":"SCHEDULED","isPluggedIn":true,"batteryPercentage":64.0,"rangeKm":318,"carTitle":"Blue",
           "modelName":"Model Y LR","odometerKm":12345,"fullInMinutes":null,"carReportedAt":"{t-7200}"})",
       "64% · 318 km · Scheduled · 1m ago"},
      {"wakes up and starts", Then::publish,
       "!healthy=true since={t+0} charging_state=Starting state=charging time_to_full_charge=0.0 charger_power=0",
       R"({"statusKey":"CHARGING","fullInMinutes":null,"chargingPowerWatts":0,"carReportedAt":"live"})",
       "64% · 318 km · Charging · 1m ago"},
      {"charging, with updates", Then::publish,
       "charger_power=11 battery_level=65 !healthy=true time_to_full_charge=2.25 charging_state=Charging est_battery_range_km=323.5",
       R"({"statusKey":"CHARGING","fullInMinutes":135,"chargingPowerWatts":11000,"batteryPercentage":65.0,"rangeKm":324})",
       "65% · 324 km · Charging · 2h15m"},
      {"more updates", Then::publish, "est_battery_range_km=3.9e2 time_to_full_charge=0.08 battery_level=79",
       R"({"fullInMinutes":5,"rangeKm":390,"batteryPercentage":79.0})", "79% · 390 km · Charging · 5min"},
      {"complete a little below the limit", Then::publish,
       "time_to_full_charge=0.0 charging_state=Complete charger_power=0 since={t+9000} state=online",
       R"({"statusKey":"DONE","fullInMinutes":null,"chargingPowerWatts":null,"isPluggedIn":true,"carReportedAt":"live"})",
       "79% · 390 km · Done · 1m ago"},
      {"falls asleep: still done, the schedule does not count", Then::publish, "state=asleep since={t+10000} !healthy=true",
       R"({"statusKey":"DONE","carReportedAt":"live"})", ""},
      {"unplugged", Then::publish, "charging_state=Disconnected plugged_in=false state=online since={t+12000}",
       R"({"statusKey":"IDLE","isPluggedIn":false})", "79% · 390 km · Idle · 1m ago"},
      {"driving", Then::publish, "state=driving since={t+12100} battery_level=78 est_battery_range_km=385.2",
       R"({"statusKey":"IDLE","isDriving":true,"batteryPercentage":78.0})", "78% · 385 km · In use · 1m ago"},
      {"parked", Then::publish, "odometer=12380.12 battery_level=75 state=online since={t+14000}",
       R"({"isDriving":false,"batteryPercentage":75.0,"odometerKm":12380,"carReportedAt":"live"})", ""},
      {"the feed restarts: the retained data are the snapshot's, so is its time", Then::restart, "",
       R"({"batteryPercentage":75.0,"carReportedAt":"same"})", ""},
  });
  // clang-format on
}

TEST_F(FeedSessions, Evcc) {
  // clang-format off
  replay("evcc", "evcc/", "evcc/loadpoints/1/", {
      {"evcc starts: it knows the vehicle, not its state", Then::restart, "/status=online", "", ""},
      {"the first cycle: placeholders", Then::quiet,
       "/updated={u+0} mode=pv connected=false charging=false vehicleTitle=ID.4 vehicleSoc=0 vehicleRange=0 "
       "vehicleOdometer=0 vehicleLimitSoc=0 effectiveLimitSoc=100 chargePower=0 chargeRemainingDuration=0 "
       "planActive=false planProjectedStart= smartCostActive=false smartCostNextStart=", "", ""},
      {"connected, the car polled, idle; the meter a little below 0", Then::publish,
       "/updated={u+30} connected=true vehicleSoc=55.5 vehicleRange=250 vehicleOdometer=8000.5 vehicleLimitSoc=80 "
       "chargePower=-3.2 charging=false mode=pv",
       R"({"statusKey":"IDLE","isPluggedIn":true,"batteryPercentage":55.5,"rangeKm":250,"odometerKm":8001,
           "carTitle":"ID.4","chargingPowerWatts":null,"carReportedAt":"{t+30}"})",
       "56% · 250 km · Idle · 1m ago"},
      {"waiting for a cheap slot", Then::publish, "/updated={u+60} smartCostNextStart={u+3600} vehicleSoc=55.5 mode=pv",
       R"({"statusKey":"SCHEDULED","carReportedAt":"{t+60}"})", "56% · 250 km · Scheduled · 1m ago"},
      {"charging at the cheap price", Then::publish,
       "/updated={u+3600} smartCostActive=true smartCostNextStart= charging=true chargePower=11000 "
       "chargeRemainingDuration=4980 vehicleSoc=56",
       R"({"statusKey":"SMART_CHARGING","fullInMinutes":83,"chargingPowerWatts":11000,"carReportedAt":"{t+3600}"})",
       "56% · 250 km · Smart charging · 1h23m"},
      {"the price goes up, a plan starts later", Then::publish,
       "/updated={u+3630} smartCostActive=false charging=false chargePower=0 chargeRemainingDuration=0 "
       "planActive=false planProjectedStart={u+7200}",
       R"({"statusKey":"SCHEDULED","fullInMinutes":null,"chargingPowerWatts":null})", ""},
      {"the plan's slot", Then::publish,
       "/updated={u+7200} planActive=true charging=true chargePower=7400 chargeRemainingDuration=3600 vehicleSoc=60",
       R"({"statusKey":"SMART_CHARGING","fullInMinutes":60,"batteryPercentage":60.0})", "60% · 250 km · Smart charging · 1h"},
      {"mode now in a cheap hour: a plain charge", Then::publish,
       "/updated={u+7230} mode=now planActive=false planProjectedStart= smartCostActive=true chargePower=11000 "
       "chargeRemainingDuration=2400",
       R"({"statusKey":"CHARGING","fullInMinutes":40,"chargingPowerWatts":11000})", "60% · 250 km · Charging · 40min"},
      {"finished at the car's own limit", Then::publish,
       "/updated={u+9000} charging=false chargePower=0 chargeRemainingDuration=0 vehicleSoc=79 vehicleRange=340",
       R"({"statusKey":"DONE","fullInMinutes":null,"batteryPercentage":79.0,"rangeKm":340,"carReportedAt":"{t+9000}"})",
       "79% · 340 km · Done · 1m ago"},
      {"unplugged, no default vehicle: placeholders again", Then::publish,
       "/updated={u+9030} connected=false vehicleTitle= vehicleSoc=0 vehicleRange=0 vehicleOdometer=0 vehicleLimitSoc=0",
       R"({"statusKey":"IDLE","isPluggedIn":false,"batteryPercentage":79.0,"rangeKm":340,"odometerKm":8001,"carTitle":"ID.4",
           "carReportedAt":"{t+9030}"})", "79% · 340 km · Idle · 1m ago"},
      {"later cycles vouch for nothing of the car", Then::quiet, "/updated={u+10000} vehicleSoc=0 connected=false",
       R"({"batteryPercentage":79.0,"carReportedAt":"{t+9030}"})", ""},
      {"evcc stops: it empties its topics, then its will", Then::quiet,
       "/updated= connected= charging= vehicleSoc= vehicleRange= vehicleOdometer= vehicleLimitSoc= mode= "
       "effectiveLimitSoc= chargePower= chargeRemainingDuration= planActive= smartCostActive= /status=offline",
       R"({"statusKey":"IDLE","batteryPercentage":79.0,"carTitle":"ID.4","carReportedAt":"{t+9030}"})", "79% · 340 km · Idle · 1m ago"},
  }, {"vehicleSoc", "connected", "charging", "mode", "chargePower", "effectiveLimitSoc", "planProjectedStart",
      "smartCostActive", "smartCostNextStart"});
  // clang-format on
  EXPECT_EQ(
      count(log(), "evcc says it is offline (evcc/status); the snapshot keeps the time of its last data"),
      1u);
}

}  // namespace
