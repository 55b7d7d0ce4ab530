// Reading payloads (numbers, durations, instants, JSON pointers, text made
// safe for one log line: a NaN expectation means "refused"), the car state
// (payloads into values, values into a snapshot), the configuration file,
// and when the feed writes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CarDiscovery.h"
#include "CarState.h"
#include "FeedConfig.h"
#include "FeedConfigWriter.h"
#include "FeedStatus.h"
#include "FeedValue.h"
#include "TempDirectory.h"
#include "WriteSchedule.h"

namespace {

using namespace kelvo::feed;
using kelvo::Date;
using kelvo::DistanceUnit;
using Json = nlohmann::json;

constexpr double kRefused = NAN;

// The value to six decimals, or "refused".
template <class T>
void expectValue(const kelvo::Result<T>& parsed, double expected, const std::string& text) {
  const auto shown = [](double value) { return std::isnan(value) ? "refused" : std::to_string(value); };
  EXPECT_EQ(parsed ? shown(static_cast<double>(*parsed)) : "refused", shown(expected)) << text;
}

TEST(FeedValue, NumbersDurationsAndInstants) {
  // clang-format off
  for (const auto& [text, value] : {std::pair{"88", 88.0}, {" 372.5\n", 372.5}, {"-9", -9}, {"+4", 4}, {"1e3", 1000},
           {"", kRefused}, {"abc", kRefused}, {"nan", kRefused}, {"inf", kRefused}, {"1e999", kRefused},
           {"0x10", kRefused}, {"12 km", kRefused}, {"1.2.3", kRefused}}) {
    expectValue(parseNumber(text), value, text);
  }
  for (const auto& [text, value] : {std::pair{"true", 1.0}, {"False", 0}, {"1", 1}, {"off", 0}, {"maybe", kRefused}}) {
    expectValue(parseBoolean(text), value, text);
  }
  for (const auto& [text, seconds] : {std::pair{"5400", 5400.0}, {"5400000000000", 5400}, {"1h30m0s", 5400},
           {"45m", 2700}, {"1.5h", 5400}, {"250ms", 0.25}, {"90 minutes", kRefused}, {"h", kRefused}, {"-5m", kRefused}}) {
    expectValue(parseDuration(text), seconds, text);
  }
  for (const auto& [text, seconds] : {std::pair{"2026-12-06T07:00:00Z", 1796540400.0}, {"1796540400", 1796540400},
           {"tomorrow", kRefused}, {"-1", kRefused}, {"1e300", kRefused}}) {
    const auto parsed = parseInstant(text);
    expectValue(parsed ? kelvo::Result<double>(parsed->secondsSince1970) : parsed.error(), seconds, text);
  }
  // clang-format on
}

TEST(FeedValue, JsonPointers) {
  const std::string payload = R"({"soc": 71.5, "car": {"name": "Zoé", "plugged": true}, "gone": null})";
  // clang-format off
  for (const auto& [pointer, text] : {std::pair{"/soc", "71.5"}, {"/car/name", "Zoé"}, {"/car/plugged", "true"}, {"/gone", ""},
           {"/missing", "(refused)"}, {"/car/name/x", "(refused)"}}) {
    // clang-format on
    const auto extracted = extractJsonPointer(payload, pointer);
    EXPECT_EQ(extracted ? *extracted : "(refused)", text) << pointer;
  }
  EXPECT_FALSE(extractJsonPointer("{not json", "/soc"));
}

// A preset's car state fed "key=value ..." messages: a key is a topic under
// the car's level, or under the prefix when it starts with "/"; "key=" sends
// an empty payload.
struct Feeder {
  CarState state;
  std::string car, root;

  Outcome send(const std::string& pairs, double at, Delivery delivery = Delivery::live) {
    Outcome last = Outcome::unknown;
    std::istringstream in(pairs);
    for (std::string pair; in >> pair;) {
      const auto equals = pair.find('=');
      const std::string key = pair.substr(0, equals);
      const std::string topic = key.starts_with('/') ? root + key.substr(1) : car + key;
      last = state.accept(topic, pair.substr(equals + 1), Date{at}, delivery).outcome;
    }
    return last;
  }
  // The snapshot as JSON ("null" before one can be composed).
  Json composed(double at = 2e9) const {
    const auto snapshot = state.compose({.now = Date{at}});
    return snapshot ? Json::parse(*kelvo::encodeSnapshot(*snapshot)) : Json();
  }
};

Feeder teslamate() {
  return {CarState(*teslamateSource("teslamate", "1", "est")), "teslamate/cars/1/", "teslamate/"};
}
Feeder evcc() { return {CarState(*evccSource("evcc", "1")), "evcc/loadpoints/1/", "evcc/"}; }

// Every key of `expected` has that value in `actual` (null: absent), or both are null.
void expectFields(const Json& actual, const std::string& expected, const std::string& label) {
  const Json wanted = Json::parse(expected);
  if (wanted.is_null() || actual.is_null()) {
    EXPECT_EQ(actual, wanted) << label;
    return;
  }
  for (const auto& [key, value] : wanted.items())
    EXPECT_EQ(actual.value(key, Json()), value) << label << ": " << key;
}

TEST(CarState, StatusRulesOfThePresets) {
  const std::string tesla =
      "battery_level=64 est_battery_range_km=318.43 charge_limit_soc=80 plugged_in=true ";
  const std::string lp =
      "vehicleSoc=55.5 vehicleRange=250 connected=true charging=false effectiveLimitSoc=100 ";
  // clang-format off
  struct Case { bool evcc; std::string messages; const char* expected; };
  for (const Case& c : {
           // TeslaMate: its state, then the car's charging_state, the limit less 1 %, a schedule.
           Case{false, tesla + "state=driving plugged_in=false", R"({"statusKey":"IDLE","isDriving":true})"},
           {false, tesla + "state=charging charging_state=Charging time_to_full_charge=1.83 charger_power=11", R"({"statusKey":"CHARGING","fullInMinutes":110,"chargingPowerWatts":11000})"},
           {false, tesla + "state=online charging_state=Starting time_to_full_charge=0.0 charger_power=0", R"({"statusKey":"CHARGING","fullInMinutes":null,"chargingPowerWatts":0})"},
           {false, tesla + "state=online charging_state=Complete battery_level=77 scheduled_charging_start_time=2026-12-07T01:00:00Z", R"({"statusKey":"DONE","isPluggedIn":true})"},
           {false, tesla + "state=asleep charging_state=Stopped battery_level=79", R"({"statusKey":"DONE"})"},
           {false, tesla + "state=asleep charging_state=Stopped scheduled_charging_start_time=2026-12-07T01:00:00Z", R"({"statusKey":"SCHEDULED"})"},
           {false, tesla + "state=suspended charging_state=Stopped scheduled_charging_start_time=", R"({"statusKey":"IDLE","isPluggedIn":true})"},
           {false, tesla + "state=online plugged_in=false charging_state=Disconnected battery_level=0 charger_power= scheduled_charging_start_time=2026-12-07T01:00:00Z", R"({"statusKey":"IDLE","isPluggedIn":false,"batteryPercentage":0.0})"},
           // evcc: the mode decides what cheap energy and plans mean.
           {true, lp + "charging=true mode=pv smartCostActive=true chargeRemainingDuration=4980 chargePower=11000", R"({"statusKey":"SMART_CHARGING","fullInMinutes":83,"chargingPowerWatts":11000})"},
           {true, lp + "charging=true mode=minpv planActive=true chargeRemainingDuration=0 chargePower=-3.2", R"({"statusKey":"SMART_CHARGING","fullInMinutes":null,"chargingPowerWatts":0})"},
           {true, lp + "charging=true mode=now smartCostActive=true planActive=true", R"({"statusKey":"CHARGING"})"},
           {true, lp + "charging=true mode=pv", R"({"statusKey":"CHARGING","isPluggedIn":true})"},
           {true, lp + "vehicleSoc=79 vehicleLimitSoc=80 mode=pv planProjectedStart=1796540400", R"({"statusKey":"DONE"})"},
           {true, lp + "vehicleLimitSoc=0 effectiveLimitSoc=56", R"({"statusKey":"DONE"})"},
           {true, lp + "mode=pv smartCostNextStart=1796540400", R"({"statusKey":"SCHEDULED"})"},
           {true, lp + "mode=minpv planProjectedStart=1796540400", R"({"statusKey":"SCHEDULED"})"},
           {true, lp + "mode=pv planProjectedStart=1796540400 planActive=true", R"({"statusKey":"IDLE"})"},
           {true, lp + "mode=off planProjectedStart=1796540400 smartCostNextStart=1796540400", R"({"statusKey":"IDLE"})"},
           {true, lp + "mode=now planProjectedStart=1796540400", R"({"statusKey":"IDLE"})"},
           {true, lp + "mode=pv smartCostNextStart=1796540400 smartCostNextStart=", R"({"statusKey":"IDLE"})"},
           {true, lp + "connected=false mode=pv smartCostNextStart=1796540400", R"({"statusKey":"IDLE","isPluggedIn":false})"},
           // evcc's 0 and "" are unknown: the last good value stays, or nothing is known yet.
           {true, lp + "vehicleSoc=0 vehicleRange=0 vehicleOdometer=8000.5 vehicleOdometer=0 vehicleSoc=", R"({"batteryPercentage":55.5,"rangeKm":250,"odometerKm":8001})"},
           {true, "vehicleSoc=0 vehicleRange=0 charging=false", "null"},
           {true, lp + "vehicleTitle=ID.4 vehicleTitle= vehicleTitle=ID.4 vehicleSoc=0", R"({"batteryPercentage":55.5,"carTitle":"ID.4"})"},
           {true, lp + "vehicleTitle=ID.4 vehicleSoc=0 vehicleTitle=Zoe", "null"},  // another car: its own values, once polled
       }) {
    // clang-format on
    Feeder feeder = c.evcc ? evcc() : teslamate();
    feeder.send(c.messages, 100);
    expectFields(feeder.composed(), c.expected, c.messages);
  }
  Feeder feeder = evcc();
  EXPECT_EQ(feeder.send("chargePower=-100", 1), Outcome::changed) << "meter noise, not an error";
  EXPECT_EQ(feeder.send("chargePower=-101", 1), Outcome::ignored);
}

TEST(CarState, TheDataAreAsOldAsTheSourceSays) {
  const std::string tesla =
      "battery_level=64 est_battery_range_km=318 state=asleep since=2026-08-20T10:00:00.5Z";
  const double since = 1787220000.5;
  const auto stored = [](double at) {
    kelvo::WidgetSnapshot snapshot;
    snapshot.carReportedAt = Date{at};
    return snapshot;
  };
  // clang-format off
  struct Case { bool evcc; std::vector<std::pair<std::string, Delivery>> steps; std::optional<double> storedAt; std::optional<double> reportedAt; };
  for (const Case& c : {
           // TeslaMate: live news is as of its arrival; retained news as of the latest time known true.
           Case{false, {{tesla, Delivery::live}}, 1.9e9, 100},
           {false, {{tesla, Delivery::retained}}, std::nullopt, since},
           {false, {{tesla, Delivery::retained}}, 1.9e9, 1.9e9},
           {false, {{tesla, Delivery::retained}}, 1.7e9, since},
           {false, {{"battery_level=64 est_battery_range_km=318 state=asleep", Delivery::retained}}, std::nullopt, 100},
           {false, {{tesla, Delivery::live}, {"battery_level=60", Delivery::retained}}, std::nullopt, since},
           // evcc: its clock, also retained; values it stops vouching for keep their time.
           {true, {{"vehicleSoc=55 vehicleRange=250 charging=false /updated=1000", Delivery::retained}}, 1.9e9, 1000},
           {true, {{"/updated=1000 vehicleSoc=55 vehicleRange=250 charging=false /updated=1030", Delivery::live}}, std::nullopt, 1030},
           {true, {{"/updated=1000 vehicleSoc=55 vehicleRange=250 charging=false vehicleSoc=0 /updated=1030 connected=false /updated=1060", Delivery::live}}, std::nullopt, 1000},
           {true, {{"/updated=1000 vehicleSoc=55 vehicleRange=250 charging=false vehicleSoc=0 /updated=1030 vehicleSoc=56 /updated=1060", Delivery::live}}, std::nullopt, 1060},
       }) {
    // clang-format on
    Feeder feeder = c.evcc ? evcc() : teslamate();
    if (c.storedAt) feeder.state.restore(stored(*c.storedAt));
    for (const auto& [messages, delivery] : c.steps) feeder.send(messages, 100, delivery);
    const auto snapshot = feeder.state.compose({.now = Date{2e9}});
    ASSERT_TRUE(snapshot) << c.steps.back().first;
    EXPECT_EQ(snapshot->carReportedAt, c.reportedAt ? std::optional<Date>(Date{*c.reportedAt}) : std::nullopt)
        << c.steps.back().first;
  }
  // The clock alone is news once it has moved on by the reload interval.
  Feeder clock = evcc();
  // clang-format off
  for (const auto& [messages, outcome] : {std::pair{"/updated=1000", Outcome::changed}, {"/updated=1030", Outcome::unchanged},
           {"/updated=1900", Outcome::changed}, {"vehicleSoc=55", Outcome::changed}, {"vehicleSoc=55", Outcome::unchanged},
           {"/status=offline", Outcome::unchanged}}) {
    // clang-format on
    EXPECT_EQ(clock.send(messages, 100), outcome) << messages;
  }
}

TEST(CarState, ASourceThatGoesQuietOrOfflineIsLoggedOnce) {
  // clang-format off
  struct Step { const char* messages; double at; const char* line; };  // "": nothing logged
  for (const auto& [evcc, steps] : {std::pair<bool, std::vector<Step>>{true, {
           {"", 0, ""}, {"/updated=1", 899, ""}, {"", 1799, ""}, {"", 1800, "nothing from evcc for 15 min; the snapshot keeps the time of its last data"},
           {"", 3000, ""}, {"/status=online", 3001, "evcc is sending again"}, {"/status=offline", 3002, "evcc says it is offline (evcc/status); the snapshot keeps the time of its last data"},
           {"/updated=5", 3003, ""}, {"/status=online", 3004, "evcc is sending again"}}},
       {false, {{"", 0, ""}, {"healthy=true", 1000, ""}, {"", 2800, ""}, {"", 2801, "nothing from TeslaMate for 30 min; the snapshot keeps the time of its last data"}}}}) {
    // clang-format on
    Feeder feeder = evcc ? ::evcc() : teslamate();
    for (const Step& step : steps) {
      feeder.send(step.messages, step.at);
      EXPECT_EQ(feeder.state.checkSource(Date{step.at}).value_or(""), step.line)
          << step.messages << " " << step.at;
    }
  }
  Feeder retained = evcc();
  retained.send("/status=online /updated=1", 10, Delivery::retained);
  EXPECT_EQ(retained.state.checkSource(Date{0}), std::nullopt);
  EXPECT_TRUE(retained.state.checkSource(Date{901})) << "retained messages are not a sign of life";
}

TEST(CarState, MapOptionsAndUnknownValues) {
  FeedSettings settings;
  ASSERT_TRUE(
      applyConfigText("[feed]\npreset = map\n[map]\n"
                      "batteryPercentage = car/soc | scale=100 | round=down\n"
                      "rangeKm = car/range | round=up\n"
                      "statusKey = car/state | map=charging:CHARGING,*:IDLE\n"
                      "isDriving = car/state | map=driving:true,*:false\n"
                      "fullInMinutes = car/json | json=/eta/minutes\n"
                      "carReportedAt = car/at\n",
                      "feed.ini", settings));
  Feeder feeder{CarState(*buildSource(settings)), "car/", ""};
  EXPECT_EQ(feeder.state.missing(),
            (std::vector<std::string>{"car/soc", "car/range", "car/state", "car/state"}));
  // clang-format off
  struct Step { const char* messages; Outcome outcome; const char* expected; };
  for (const Step& s : {Step{"soc=0.815 range=300.2 state=driving", Outcome::changed, R"({"batteryPercentage":81.0,"rangeKm":301,"statusKey":"IDLE","isDriving":true,"carReportedAt":"1970-01-01T00:01:40Z"})"},
           {R"(json={"eta":{"minutes":42}})", Outcome::changed, R"({"fullInMinutes":42})"},
           {R"(json={"eta":{"minutes":42}})", Outcome::unchanged, R"({"fullInMinutes":42})"},
           {"soc=1.5", Outcome::ignored, R"({"batteryPercentage":81.0})"}, {R"(json={"eta":{}})", Outcome::ignored, R"({"fullInMinutes":42})"},
           {"elsewhere=1", Outcome::unknown, R"({"fullInMinutes":42})"},
           // JSON null withdraws an optional value; an empty payload leaves a required one as it was.
           {R"(json={"eta":{"minutes":null}})", Outcome::changed, R"({"fullInMinutes":null})"},
           {"at=2026-08-20T10:00:00Z", Outcome::changed, R"({"carReportedAt":"2026-08-20T10:00:00Z"})"},
           {"soc= at=2026-08-20T11:00:00Z", Outcome::changed, R"({"batteryPercentage":81.0,"carReportedAt":"2026-08-20T10:00:00Z"})"}}) {
    // clang-format on
    EXPECT_EQ(feeder.send(s.messages, 100), s.outcome) << s.messages;
    expectFields(feeder.composed(), s.expected, s.messages);
  }
}

TEST(FeedConfig, FileErrorsNameTheFileAndLine) {
  // clang-format off
  struct Case { const char* text; const char* error; };  // "": accepted
  for (const Case& c : {
           Case{"# comment\n; comment\n[broker]\nurl = mqtts://car.lan\n[feed]\nunit = mi\n", ""},
           {"url = mqtt://x\n", "feed.ini:1: \"url\" comes before any [group]"},
           {"[broker]\nurl\n", "feed.ini:2: expected \"key = value\""},
           {"[broker\n", "feed.ini:1: a group header must read [name]"},
           {"[broker]\nurl = a\nurl = b\n", "feed.ini:3: \"url\" is given twice in [broker]"},
           {"[broker]\nhost = x\n", "feed.ini:2: unknown key \"host\" in [broker] (known: url, username, password, password-file, cafile, insecure, client-id)"},
           {"[feed]\nshared_dir = /x\n", ""},  // the old spelling, read with a warning
           {"[broker]\ninsecure = maybe\n", "feed.ini:2: insecure: \"maybe\" is not true or false"},
           {"[feed]\nunit = furlongs\n", "feed.ini:2: unit: \"furlongs\" is not a distance unit (km, mi)"},
           {"[mqtt]\n", ""},  // an empty group is harmless
           {"[mqtt]\nx = 1\n", "feed.ini:2: unknown group [mqtt] (known: broker, feed, map)"},
           {"[map]\nbatteryPercentage = a | scale=0\n", "feed.ini:2: batteryPercentage: scale must be"},
           {"[map]\nspeed = car/speed\n", "feed.ini:2: speed: not a snapshot field"},
           {"[map]\nrangeKm = car/# \n", "feed.ini:2: rangeKm: needs a topic without"},
           {"[map]\nisDriving = - | default=perhaps\n", "feed.ini:2: isDriving: default=perhaps"},
           {"[map]\nbatteryPercentage = a\n", "feed.ini: [map] must set rangeKm"},
           {"[broker]\nurl = \xff\n", "feed.ini:2: not valid UTF-8"},
       }) {
    // clang-format on
    FeedSettings settings;
    const auto status = applyConfigText(c.text, "feed.ini", settings);
    EXPECT_EQ(status ? "" : status.error().message.substr(0, std::strlen(c.error)), c.error) << c.text;
  }
  // An earlier spelling is read, and the log says how it is spelt now.
  FeedSettings settings;
  std::vector<std::string> warnings;
  ASSERT_TRUE(applyConfigText("[feed]\nshared_dir = /x\n", "feed.ini", settings, &warnings));
  EXPECT_EQ(settings.sharedDir, "/x");
  EXPECT_EQ(warnings,
            std::vector<std::string>{"feed.ini:2: \"shared_dir\" is now spelled \"shared-dir\"; the old "
                                     "spelling will not be read in the next release"});
}

TEST(FeedConfig, BrokerUrls) {
  // clang-format off
  for (const auto& [url, address] : {std::pair{"mqtt://broker.lan", "broker.lan:1883"}, {"mqtts://broker.lan", "tls broker.lan:8883"},
           {"mqtt://10.0.0.2:1884/", "10.0.0.2:1884"}, {"mqtts://[::1]:8884", "tls ::1:8884"}, {"http://broker", "refused"},
           {"mqtt://", "refused"}, {"mqtt://host:", "refused"}, {"mqtt://host:0", "refused"}, {"mqtt://host:65536", "refused"},
           {"mqtt://user:pw@host", "refused"}, {"mqtt://host/path", "refused"}, {"mqtt://[::1", "refused"}}) {
    const auto parsed = parseBrokerUrl(url);
    EXPECT_EQ(parsed ? (parsed->tls ? "tls " : "") + parsed->host + ":" + std::to_string(parsed->port) : "refused", address);
  }
  // clang-format on
}

TEST(FeedConfig, PrivateFilesPasswordsAndTheLocaleUnit) {
  kelvo::testing::TempDirectory dir;
  const auto file = dir.path() / "password";
  // clang-format off
  struct Case { const char* text; mode_t mode; const char* password; };  // "": refused
  for (const Case& c : {Case{"pw\n", 0600, "pw"}, {"pw\r\nsecond line\n", 0400, "pw"}, {"pw", 0640, ""}, {"pw", 0604, ""},
           {"\n", 0600, ""}}) {
    kelvo::testing::writeFile(file, c.text);
    ::chmod(file.c_str(), c.mode);
    const auto password = readPasswordFile(file);
    EXPECT_EQ(password ? *password : "", c.password) << c.text << " " << c.mode;
  }
  EXPECT_FALSE(readPasswordFile(dir.path() / "missing"));
  for (const auto& [locale, unit] : {std::pair{"en_US.UTF-8", DistanceUnit::miles}, {"en_GB", DistanceUnit::miles},
           {"de_DE@euro", DistanceUnit::kilometers}, {"ja_JP", DistanceUnit::kilometers}, {"C", DistanceUnit::kilometers},
           {"C.UTF-8", DistanceUnit::kilometers}, {"POSIX", DistanceUnit::kilometers}, {"", DistanceUnit::kilometers}}) {
    EXPECT_EQ(unitForPosixLocale(locale), unit) << locale;
  }
  // clang-format on
}

TEST(FeedConfig, WrittenSettingsReadBackPrivateAndWithoutThePassword) {
  kelvo::testing::TempDirectory dir;
  const auto file = dir.path() / "new" / "feed.ini";
  FeedSettings settings;
  settings.broker = "mqtts://broker.lan:8884";
  settings.preset = Preset::evcc;
  settings.car = "2";
  settings.prefix = "home/evcc";
  settings.username = "kelvo";
  settings.password = "never written";
  settings.passwordFile = (dir.path() / "pw").string();
  settings.dashboard = "http://evcc.lan:7070";
  settings.map = {{"map", "batteryPercentage", "car/soc", 0},
                  {"map", "rangeKm", "car/range", 0},
                  {"map", "statusKey", "car/state", 0},
                  {"map", "isDriving", "car/driving", 0}};
  ASSERT_TRUE(writeConfigFile(file, settings));
  FeedSettings read;
  ASSERT_TRUE(applyConfigFile(file, read));
  EXPECT_EQ(std::tie(read.broker, read.preset, read.car, read.prefix, read.username, read.passwordFile,
                     read.dashboard),
            std::tie(settings.broker, settings.preset, settings.car, settings.prefix, settings.username,
                     settings.passwordFile, settings.dashboard));
  EXPECT_EQ(read.map.size(), 4u);
  EXPECT_FALSE(read.password);
  // clang-format off
  struct Case { const char* broker; const char* password; bool written; };
  for (const Case& c : {Case{"mqtt://a\nurl = mqtt://evil", "pw", false}, {" mqtt://a", "pw", false}, {"mqtt://a", "p\nw", false},
           {"mqtt://a", "", false}, {"mqtt://a", "pw", true}}) {
    settings.broker = c.broker;
    EXPECT_EQ(writeConfigFile(file, settings) && writePasswordFile(dir.path() / "pw", c.password), c.written) << c.broker;
  }
  // clang-format on
  for (const auto& name : {"new/feed.ini", "pw"}) {
    struct stat info {};
    ASSERT_EQ(::stat((dir.path() / name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
  }
}

TEST(CarDiscovery, NamesAndBatteriesUnderTheUsualAndTheTypedPrefixes) {
  CarDirectory directory("home");
  EXPECT_EQ(directory.topics().size(), 8u);
  // clang-format off
  for (const auto& [topic, payload] : {std::pair{"evcc/loadpoints/1/vehicleSoc", "55.5"}, {"teslamate/cars/2/display_name", "Model Y"},
           {"teslamate/cars/2/battery_level", "81"}, {"evcc/loadpoints/1/vehicleTitle", "ID.4"}, {"home/cars/1/display_name", "Zoe"},
           {"teslamate/cars/x/display_name", "not a car"}, {"teslamate/cars/3/state", "online"}, {"home/loadpoints/4/vehicleSoc", "120"},
           {"teslamate/cars/10/battery_level", "12"}}) {
    directory.note(topic, payload);
  }
  std::vector<std::string> found;
  for (const FoundCar& car : directory.cars())
    found.push_back(car.preset + " " + car.prefix + " " + car.car + " " + car.name + " " +
                    (car.battery ? std::to_string(int(*car.battery)) : "-"));
  EXPECT_EQ(found, (std::vector<std::string>{"teslamate home 1 Zoe -", "teslamate teslamate 2 Model Y 81",
                                             "teslamate teslamate 10  12", "evcc evcc 1 ID.4 55", "evcc home 4  -"}));
  // clang-format on
}

TEST(FeedStatus, RoundTripsAndRefusesWhatIsNotOne) {
  FeedStatus status{4242,
                    *kelvo::parseInternetDateTime("2026-12-07T10:00:00Z"),
                    "mqtt://b:1883",
                    true,
                    kelvo::parseInternetDateTime("2026-12-07T10:01:00Z"),
                    std::nullopt,
                    "lost the connection"};
  const auto back = decodeFeedStatus(encodeFeedStatus(status));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, status);
  for (const char* json :
       {"[]", "{\"pid\":1}",
        "{\"pid\":\"1\",\"started\":\"2026-12-07T10:00:00Z\",\"broker\":\"\",\"connected\":true}", "{"})
    EXPECT_FALSE(decodeFeedStatus(json)) << json;
  EXPECT_TRUE(isRunning(::getpid()));
  EXPECT_FALSE(isRunning(0));
}

TEST(WriteSchedule, BurstsAreCoalescedAndUnchangedSnapshotsWait) {
  WriteSchedule schedule;
  EXPECT_FALSE(schedule.deadline());
  schedule.changed(10.0);
  schedule.changed(10.3);
  EXPECT_EQ(*schedule.deadline(), 10.8);  // 500 ms after the last change
  for (double t = 10.4; t < 12.5; t += 0.4) schedule.changed(t);
  EXPECT_EQ(*schedule.deadline(), 12.0) << "a steady stream still writes every 2 s";

  kelvo::WidgetSnapshot snapshot;
  snapshot.statusKey = "IDLE";
  EXPECT_TRUE(schedule.shouldWrite(snapshot, 12.0));
  schedule.written(snapshot, 12.0);
  EXPECT_FALSE(schedule.deadline());
  kelvo::WidgetSnapshot later = snapshot;
  later.writtenAt = Date{99};
  EXPECT_FALSE(schedule.shouldWrite(later, 12.0 + 899)) << "the same data within 15 minutes";
  EXPECT_TRUE(schedule.shouldWrite(later, 12.0 + 900));
  later.batteryPercentage = 1;
  EXPECT_TRUE(schedule.shouldWrite(later, 13.0));

  schedule.changed(20.0);
  schedule.failed(20.5);
  EXPECT_EQ(*schedule.deadline(), 25.5) << "a failed write is retried";
  schedule.hurry(21.0);
  EXPECT_EQ(*schedule.deadline(), 21.0);
}

TEST(WriteSchedule, ReconnectionBacksOffWithJitter) {
  // clang-format off
  struct Case { int failures; double jitter; double delay; };
  for (const Case& c : {Case{1, 0, 1}, {2, 0, 2}, {3, 0, 4}, {6, 0, 32}, {7, 0, 60}, {50, 0, 60}, {1, 0.999, 0.75025},
           {7, 0.5, 52.5}, {0, 0, 1}}) {
    EXPECT_DOUBLE_EQ(reconnectDelay(c.failures, c.jitter), c.delay) << c.failures << " " << c.jitter;
  }
  // clang-format on
}

}  // namespace
