// Reading payloads (numbers, durations, instants, JSON pointers, text made
// safe for one log line: a NaN expectation means "refused"), the car state
// (payloads into values, values into a snapshot), the configuration file,
// and when the feed writes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "CarState.h"
#include "FeedConfig.h"
#include "FeedValue.h"
#include "TempDirectory.h"
#include "WriteSchedule.h"

namespace {

using namespace kelvo::feed;
using kelvo::Date;
using kelvo::DistanceUnit;

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

TEST(FeedValue, JsonPointersAndLogText) {
  const std::string payload = R"({"soc": 71.5, "car": {"name": "Zoé", "plugged": true}, "gone": null})";
  // clang-format off
  for (const auto& [pointer, text] : {std::pair{"/soc", "71.5"}, {"/car/name", "Zoé"}, {"/car/plugged", "true"}, {"/gone", ""},
           {"/missing", "(refused)"}, {"/car/name/x", "(refused)"}}) {
    // clang-format on
    const auto extracted = extractJsonPointer(payload, pointer);
    EXPECT_EQ(extracted ? *extracted : "(refused)", text) << pointer;
  }
  EXPECT_FALSE(extractJsonPointer("{not json", "/soc"));

  // clang-format off
  struct Case { std::string text; std::size_t limit; std::string escaped; };
  for (const Case& c : {Case{"a\nb\tc\r", 120, "a\\nb\\tc\\r"}, {"\x1b[31mred\x7f", 120, "\\x1b[31mred\\x7f"},
           {"back\\slash", 120, "back\\\\slash"}, {"Zoé 🚗", 120, "Zoé 🚗"}, {"bad\xff\xc3(", 120, "bad\\xff\\xc3("},
           {"abcdef", 3, "abc…"}, {"ééé", 3, "é…"}}) {  // never cut inside "é"
    EXPECT_EQ(escapeForLog(c.text, c.limit), c.escaped) << c.text;
  }
  // clang-format on
}

TEST(CarState, MapOptionsWithdrawalsAndWhenTheCarReported) {
  FeedSettings settings;
  ASSERT_TRUE(
      applyConfigText("[feed]\npreset = map\n[map]\n"
                      "batteryPercentage = car/soc | scale=100 | round=down\n"
                      "rangeKm = car/range | round=up\n"
                      "statusKey = car/state | map=charging:CHARGING,*:IDLE\n"
                      "isDriving = car/state | map=driving:true,*:false\n"
                      "fullInMinutes = car/json | json=/eta/minutes\n",
                      "feed.ini", settings));
  CarState state(*buildSource(settings));
  EXPECT_EQ(state.missing(), (std::vector<std::string>{"car/soc", "car/range", "car/state", "car/state"}));
  // clang-format off
  struct Step { const char* topic; std::string payload; double at; Outcome outcome; };
  for (const Step& s : {Step{"car/soc", "0.815", 10, Outcome::changed}, {"car/range", "300.2", 10, Outcome::changed},
           {"car/state", "driving", 10, Outcome::changed}, {"car/json", R"({"eta":{"minutes":42}})", 10, Outcome::changed},
           // Retained messages resent after a reconnection are old data, not news.
           {"car/json", R"({"eta":{"minutes":42}})", 90, Outcome::unchanged},
           {"car/soc", "1.5", 90, Outcome::ignored}, {"car/json", R"({"eta":{}})", 90, Outcome::ignored},
           {"elsewhere", "1", 90, Outcome::unknown}}) {
    EXPECT_EQ(state.accept(s.topic, s.payload, Date{s.at}).outcome, s.outcome) << s.topic << " " << s.payload;
  }
  // clang-format on
  const auto snapshot = state.compose({.now = Date{100}});
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(std::make_tuple(snapshot->batteryPercentage, snapshot->rangeKm, snapshot->statusKey,
                            snapshot->isDriving, snapshot->fullInMinutes, snapshot->carReportedAt,
                            snapshot->writtenAt),
            std::make_tuple(81.0, std::int64_t{301}, std::string("IDLE"), true,
                            std::optional<std::int64_t>(42), std::optional<Date>(Date{10}), Date{100}));
  // JSON null withdraws an optional value; an empty payload a required one.
  EXPECT_EQ(state.accept("car/json", R"({"eta":{"minutes":null}})", Date{110}).outcome, Outcome::changed);
  EXPECT_FALSE(state.compose({.now = Date{120}})->fullInMinutes);
  EXPECT_EQ(state.compose({.now = Date{120}})->carReportedAt, Date{110});
  EXPECT_EQ(state.accept("car/soc", "", Date{130}).outcome, Outcome::changed);
  EXPECT_FALSE(state.compose({.now = Date{140}}));
}

TEST(FeedConfig, FileErrorsNameTheFileAndLine) {
  // clang-format off
  struct Case { const char* text; const char* error; };  // "": accepted
  for (const Case& c : {
           Case{"# comment\n; comment\n[broker]\nurl = mqtts://car.lan\n[feed]\nunit = mi\n", ""},
           {"url = mqtt://x\n", "feed.ini: line 1: \"url\" comes before any [group]"},
           {"[broker]\nurl\n", "feed.ini: line 2: expected \"key = value\""},
           {"[broker\n", "feed.ini: line 1: a group header must read [name]"},
           {"[broker]\nurl = a\nurl = b\n", "feed.ini: line 3: \"url\" is given twice in [broker]"},
           {"[broker]\nhost = x\n", "feed.ini: line 2: unknown key \"host\" in [broker]"},
           {"[feed]\nunit = furlongs\n", "feed.ini: line 2: unit must be km or mi"},
           {"[mqtt]\n", ""},  // an empty group is harmless
           {"[mqtt]\nx = 1\n", "feed.ini: line 2: unknown group [mqtt]"},
           {"[map]\nbatteryPercentage = a | scale=0\n", "feed.ini: line 2: batteryPercentage: scale must be"},
           {"[map]\nspeed = car/speed\n", "feed.ini: line 2: speed: not a snapshot field"},
           {"[map]\nrangeKm = car/# \n", "feed.ini: line 2: rangeKm: needs a topic without"},
           {"[map]\nisDriving = - | default=perhaps\n", "feed.ini: line 2: isDriving: default=perhaps"},
           {"[map]\nbatteryPercentage = a\n", "feed.ini: [map] must set rangeKm"},
           {"[broker]\nurl = \xff\n", "feed.ini: line 2: not valid UTF-8"},
       }) {
    // clang-format on
    FeedSettings settings;
    const auto status = applyConfigText(c.text, "feed.ini", settings);
    EXPECT_EQ(status ? "" : status.error().message.substr(0, std::strlen(c.error)), c.error) << c.text;
  }
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
