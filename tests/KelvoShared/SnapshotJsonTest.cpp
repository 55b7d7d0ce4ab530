#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>

#include "KelvoShared/Utf8Text.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {
namespace {

using Json = nlohmann::json;

const Json kRequired = Json::parse(R"j({"batteryPercentage": 64.5, "rangeKm": 412, "statusKey": "CHARGING",
  "isDriving": false, "writtenAt": "2026-01-15T08:30:00Z", "unit": "Kilometers (km)", "hasImage": false})j");
const Json kOptionals =
    Json::parse(R"j({"isPluggedIn": true, "fullInMinutes": 95, "chargingPowerWatts": 11000,
  "carTitle": "Polestar 4 · 2026", "modelName": "Polestar 4", "registrationNo": "KLV 042", "odometerKm": 23412,
  "carReportedAt": "2026-01-15T08:28:00Z"})j");

Json complete() {
  Json document = kRequired;
  document.update(kOptionals);
  return document;
}

// Why `text` does not decode; "(decoded)" when it does.
std::string failureOf(std::string_view text) {
  const auto result = decodeSnapshot(text);
  return result ? "(decoded)" : result.error().message;
}

// complete() with `to` in place of the first `from` of its compact text.
std::string replaced(std::string_view from, std::string_view to) {
  std::string text = complete().dump();
  return text.replace(text.find(from), from.size(), to);
}

TEST(SnapshotDecoding, CompleteDocumentEncodesBackCompactInFieldOrderAndNullsStayAbsent) {
  EXPECT_EQ(
      *encodeSnapshot(*decodeSnapshot(complete().dump(2))),
      R"j({"batteryPercentage":64.5,"rangeKm":412,"statusKey":"CHARGING","isDriving":false,)j"
      R"j("isPluggedIn":true,"fullInMinutes":95,"chargingPowerWatts":11000,"carTitle":"Polestar 4 · 2026",)j"
      R"j("modelName":"Polestar 4","registrationNo":"KLV 042","odometerKm":23412,)j"
      R"j("carReportedAt":"2026-01-15T08:28:00Z","writtenAt":"2026-01-15T08:30:00Z",)j"
      R"j("unit":"Kilometers (km)","hasImage":false})j");
  Json nulls = complete(), unknown = complete();
  for (const auto& [key, value] : kOptionals.items()) nulls[key] = nullptr;
  for (const Json& document : {kRequired, nulls}) {
    EXPECT_EQ(Json::parse(*encodeSnapshot(*decodeSnapshot(document.dump()))),
              kRequired);  // written without nulls
  }
  // Unknown members are ignored whatever they hold.
  unknown["extra"] = Json{{"nested", Json::array({1, nullptr, "x"})}};
  unknown["batterypercentage"] = "wrong case, not ours";
  EXPECT_EQ(*decodeSnapshot(unknown.dump()), *decodeSnapshot(complete().dump()));
}

TEST(SnapshotDecoding, MissingNullOrWrongValuesAreNamedForOptionalKeysToo) {
  for (const auto& [key, value] : kRequired.items()) {
    Json missing = complete(), null = complete();
    missing.erase(key);
    null[key] = nullptr;
    EXPECT_EQ(failureOf(missing.dump()), "key \"" + key + "\": missing");
    EXPECT_EQ(failureOf(null.dump()), "key \"" + key + "\": null where a value is required");
  }
  // clang-format off
  for (const auto& [key, value, expected] : std::vector<std::tuple<std::string, Json, std::string>>{
           {"isPluggedIn", "true", "expected true or false, found a string"}, {"rangeKm", "412", "expected an integer, found a string"},
           {"fullInMinutes", true, "expected an integer, found a boolean"}, {"batteryPercentage", "64", "expected a number, found a string"},
           {"carTitle", 5, "expected a string, found a number"}, {"modelName", Json::array(), "expected a string, found an array"},
           {"writtenAt", 1768465800, "expected a date-time string, found a number"},
           {"carReportedAt", "yesterday", "\"yesterday\" is not an RFC 3339 date-time"},
           {"writtenAt", "2026-02-30T08:30:00Z", "\"2026-02-30T08:30:00Z\" is not an RFC 3339 date-time"},
           {"unit", "km", "\"km\" is not a distance unit (use \"Kilometers (km)\" or \"Miles (mi)\")"},
           {"unit", std::string(500, 'x'), "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx… is not a distance unit (use \"Kilometers (km)\" or \"Miles (mi)\")"}}) {
    // clang-format on
    Json document = complete();
    document[key] = value;
    EXPECT_EQ(failureOf(document.dump()), "key \"" + key + "\": " + expected);
  }
}

TEST(SnapshotDecoding, NumbersAndDocumentsThatDoNotFit) {
  const std::string range = "\"rangeKm\":412";
  // clang-format off
  for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
           {replaced(range, "\"rangeKm\":9223372036854775807"), "(decoded)"}, {replaced(range, "\"rangeKm\":-9223372036854775808"), "(decoded)"},
           {replaced(range, "\"rangeKm\":9223372036854775808"), "key \"rangeKm\": 9223372036854775808 does not fit a 64-bit signed integer"},
           {replaced(range, "\"rangeKm\":-9223372036854775809"), "key \"rangeKm\": -9.223372036854776e+18 does not fit a 64-bit signed integer"},
           {replaced(range, "\"rangeKm\":412.5"), "key \"rangeKm\": 412.5 is not an integer"},
           {replaced(range, "\"rangeKm\":4.12e2"), "key \"rangeKm\": 412.0 is not an integer"},  // even when whole
           {replaced("64.5", "-1e2"), "(decoded)"},  // the battery takes any finite number
           {"[]", "not a JSON object at the top level, found an array"}, {"null", "not a JSON object at the top level, found null"},
           // snapshot.json may be a link to any file: the position, but none of its bytes.
           {"Zq:x:0:0:Zq:/Zq", "not JSON: parse error at line 1, column 1: syntax error while parsing value - invalid literal"},
           {"{\"Zq\" 1}", "not JSON: parse error at line 1, column 7: syntax error while parsing object separator - unexpected number literal; expected ':'"},
           {"{\"a\": \"Zq\x01\"}", "not JSON: parse error at line 1, column 10: syntax error while parsing value - invalid string: control character U+0001 (SOH) must be escaped to \\u0001"}}) {
    // clang-format on
    EXPECT_EQ(failureOf(text), expected) << text;
  }
  EXPECT_EQ(decodeSnapshot(replaced(range, "\"rangeKm\":-9223372036854775808"))->rangeKm,
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(decodeSnapshot(replaced("64.5", "-1e2"))->batteryPercentage, -100);
  // Not JSON at all, or not valid UTF-8: the message stays valid UTF-8.
  // clang-format off
  for (const std::string& text : {std::string("{"), complete().dump() + " {}", std::string("NaN"), std::string(R"({"batteryPercentage":1e400})"),
           std::string(R"({"carTitle":"\ud800"})"), replaced("KLV 042", "\xC3\x28"), replaced("KLV 042", "\xED\xA0\x80"),
           replaced("KLV 042", "\xC0\xAF"), replaced("KLV 042", "\xF4\x90\x80\x80")}) {
    // clang-format on
    const std::string message = failureOf(text);
    EXPECT_TRUE(message.starts_with("not JSON:") && isValidUtf8(message)) << message;
  }
}

TEST(SnapshotEncoding, UnwritableValuesFailAndTheRestRoundTripUpToWholeSeconds) {
  WidgetSnapshot s = *decodeSnapshot(complete().dump());
  s.batteryPercentage = -std::numeric_limits<double>::infinity();  // NaN: SharedStore's write cases
  EXPECT_TRUE(encodeSnapshot(s).error().message.starts_with("key \"batteryPercentage\""));
  s.batteryPercentage = 0.1 + 0.2;  // no rounding on the way
  s.carTitle = std::string("\xFF", 1);
  EXPECT_EQ(encodeSnapshot(s).error().message, "key \"carTitle\": text is not valid UTF-8");
  for (double bad : {1e15, std::numeric_limits<double>::quiet_NaN()}) {
    WidgetSnapshot unwritable = s;
    unwritable.carTitle.reset();
    unwritable.writtenAt = Date{bad};
    EXPECT_FALSE(encodeSnapshot(unwritable).ok()) << bad;
  }
  s.rangeKm = std::numeric_limits<std::int64_t>::min();
  s.odometerKm = std::numeric_limits<std::int64_t>::max();
  s.isDriving = true;
  s.fullInMinutes = 0;
  s.carTitle = "Zoë \"quoted\" \\ \n\t\u0001 🚗";
  s.modelName = "";
  s.carReportedAt = Date{-86400};
  s.unit = DistanceUnit::miles;
  EXPECT_EQ(*decodeSnapshot(*encodeSnapshot(s)), s);
  // Fractional seconds are dropped; sameData looks past writtenAt only.
  s.writtenAt = Date{1768465800.75};
  const auto whole = decodeSnapshot(*encodeSnapshot(s));
  EXPECT_EQ(whole->writtenAt, Date{1768465800});
  EXPECT_TRUE(whole->sameData(s) && *whole != s);
  s.carReportedAt = Date{1768465680.5};
  EXPECT_FALSE(decodeSnapshot(*encodeSnapshot(s))->sameData(s));
}

}  // namespace
}  // namespace kelvo
