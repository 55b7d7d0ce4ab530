#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>

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

// The description of why `text` does not decode; fails the test when it does.
std::string failureOf(std::string_view text) {
  const auto result = decodeSnapshot(text);
  EXPECT_FALSE(result.ok()) << "decoded: " << text;
  return result.ok() ? std::string() : result.error().message;
}

std::string failureWith(const std::string& key, const Json& value) {
  Json document = complete();
  document[key] = value;
  return failureOf(document.dump());
}

// complete() with the raw JSON `number` in place of `from`.
std::string withNumber(std::string_view from, std::string_view number) {
  std::string text = complete().dump();
  return text.replace(text.find(from), from.size(), number);
}

TEST(SnapshotDecoding, CompleteDocumentEncodesBackCompactInFieldOrder) {
  const auto full = decodeSnapshot(complete().dump(2));
  ASSERT_TRUE(full.ok()) << full.error().message;
  EXPECT_EQ(
      *encodeSnapshot(*full),
      R"j({"batteryPercentage":64.5,"rangeKm":412,"statusKey":"CHARGING","isDriving":false,)j"
      R"j("isPluggedIn":true,"fullInMinutes":95,"chargingPowerWatts":11000,"carTitle":"Polestar 4 · 2026",)j"
      R"j("modelName":"Polestar 4","registrationNo":"KLV 042","odometerKm":23412,)j"
      R"j("carReportedAt":"2026-01-15T08:28:00Z","writtenAt":"2026-01-15T08:30:00Z",)j"
      R"j("unit":"Kilometers (km)","hasImage":false})j");
}

TEST(SnapshotDecoding, AbsentAndNullOptionalsStayAbsent) {
  Json nulls = complete();
  for (const auto& [key, value] : kOptionals.items()) nulls[key] = nullptr;
  for (const Json& document : {kRequired, nulls}) {
    const auto result = decodeSnapshot(document.dump());
    ASSERT_TRUE(result.ok()) << result.error().message;
    const WidgetSnapshot& s = *result;
    EXPECT_FALSE(s.isPluggedIn || s.fullInMinutes || s.chargingPowerWatts || s.carTitle || s.modelName ||
                 s.registrationNo || s.odometerKm || s.carReportedAt);
    EXPECT_EQ(Json::parse(*encodeSnapshot(s)), kRequired);  // written without nulls
  }
}

TEST(SnapshotDecoding, MissingNullOrWrongValuesAreNamedForOptionalKeysToo) {
  for (const auto& [key, value] : kRequired.items()) {
    Json document = complete();
    document.erase(key);
    EXPECT_EQ(failureOf(document.dump()), "key \"" + key + "\": missing");
    EXPECT_EQ(failureWith(key, nullptr), "key \"" + key + "\": null where a value is required");
  }

  const std::vector<std::tuple<std::string, Json, std::string>> cases = {
      {"isPluggedIn", "true", "expected true or false, found a string"},
      {"rangeKm", "412", "expected an integer, found a string"},
      {"fullInMinutes", true, "expected an integer, found a boolean"},
      {"batteryPercentage", "64", "expected a number, found a string"},
      {"carTitle", 5, "expected a string, found a number"},
      {"modelName", Json::array(), "expected a string, found an array"},
      {"writtenAt", 1768465800, "expected a date-time string, found a number"},
      {"carReportedAt", "yesterday", "\"yesterday\" is not an RFC 3339 date-time"},
      {"writtenAt", "2026-02-30T08:30:00Z", "\"2026-02-30T08:30:00Z\" is not an RFC 3339 date-time"},
      {"unit", "km", "\"km\" is not a distance unit"},
  };
  for (const auto& [key, value, expected] : cases) {
    EXPECT_EQ(failureWith(key, value), "key \"" + key + "\": " + expected);
  }
  const std::string message = failureWith("unit", std::string(500, 'x'));
  EXPECT_LT(message.size(), 80u);  // long quoted values are shortened
  EXPECT_TRUE(message.starts_with("key \"unit\": \"xxxx")) << message;
}

TEST(SnapshotDecoding, IntegersMustBeWholeAndFitSixtyFourBits) {
  const auto withRange = [](const std::string& number) {
    return withNumber("\"rangeKm\":412", "\"rangeKm\":" + number);
  };
  EXPECT_EQ(decodeSnapshot(withRange("9223372036854775807"))->rangeKm,
            std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(decodeSnapshot(withRange("-9223372036854775808"))->rangeKm,
            std::numeric_limits<std::int64_t>::min());
  // Decimal and exponent forms are refused even when whole.
  for (const auto& [number, expected] : std::vector<std::pair<std::string, std::string>>{
           {"9223372036854775808", "9223372036854775808 does not fit a 64-bit signed integer"},
           {"-9223372036854775809", "-9.223372036854776e+18 does not fit a 64-bit signed integer"},
           {"412.5", "412.5 is not an integer"},
           {"4.12e2", "412.0 is not an integer"}}) {
    EXPECT_EQ(failureOf(withRange(number)), "key \"rangeKm\": " + expected);
  }
  // The battery takes any finite number.
  EXPECT_EQ(decodeSnapshot(withNumber("64.5", "-1e2"))->batteryPercentage, -100);
  EXPECT_TRUE(failureOf(R"({"batteryPercentage":1e400})").starts_with("not JSON"));
}

TEST(SnapshotDecoding, UnknownMembersAreIgnoredWhateverTheyHold) {
  Json document = complete();
  document["extra"] = Json{{"nested", Json::array({1, nullptr, "x"})}};
  document["batterypercentage"] = "wrong case, not ours";
  const auto result = decodeSnapshot(document.dump());
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(*result, *decodeSnapshot(complete().dump()));
}

TEST(SnapshotDecoding, DocumentsThatAreNotAnObjectFail) {
  for (const std::string& text : {std::string("{"), complete().dump() + " {}", std::string("NaN")}) {
    EXPECT_TRUE(failureOf(text).starts_with("not JSON:")) << text;
  }
  EXPECT_EQ(failureOf("[]"), "not a JSON object at the top level, found an array");
  EXPECT_EQ(failureOf("null"), "not a JSON object at the top level, found null");
}

TEST(SnapshotDecoding, ParseErrorsGiveThePositionButNoBytesOfTheFile) {
  // snapshot.json may be a link to any file; none of its bytes reach the message.
  for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
           {"Zq:x:0:0:Zq:/Zq", "line 1, column 1: syntax error while parsing value - invalid literal"},
           {"\x89PNG\r\n", "line 1, column 1: syntax error while parsing value - invalid literal"},
           {"{\"a\": Zqrue}", "line 1, column 7: syntax error while parsing value - invalid literal"},
           {"{\"Zq\" 1}",
            "line 1, column 7: syntax error while parsing object separator - unexpected number "
            "literal; expected ':'"},
           {"{\"a\": \"Zq\x01\"}",
            "line 1, column 10: syntax error while parsing value - invalid string: "
            "control character U+0001 (SOH) must be escaped to \\u0001"}}) {
    const std::string message = failureOf(text);
    EXPECT_EQ(message, "not JSON: parse error at " + expected) << text;
    EXPECT_EQ(message.find("Zq"), std::string::npos) << message;
  }
}

TEST(SnapshotDecoding, InvalidUtf8FailsAndTheMessageStaysValid) {
  for (const std::string& bad : {std::string("\xC3\x28", 2), std::string("\xED\xA0\x80", 3),  // surrogate
                                 std::string("\xC0\xAF", 2), std::string("\xF4\x90\x80\x80", 4)}) {
    const std::string message = failureOf(withNumber("KLV 042", bad));
    EXPECT_TRUE(message.starts_with("not JSON:")) << message;
    EXPECT_NO_THROW((void)Json(message).dump()) << "message is not valid UTF-8";
  }
  EXPECT_TRUE(failureOf(R"({"carTitle":"\ud800"})").starts_with("not JSON:"));
}

TEST(SnapshotEncoding, NonFiniteBatteryAndUnwritableValuesFail) {
  WidgetSnapshot s = *decodeSnapshot(complete().dump());
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()}) {
    s.batteryPercentage = bad;
    EXPECT_TRUE(encodeSnapshot(s).error().message.starts_with("key \"batteryPercentage\""));
  }
  s.batteryPercentage = 50;
  s.carTitle = std::string("\xFF", 1);
  EXPECT_EQ(encodeSnapshot(s).error().message, "key \"carTitle\": text is not valid UTF-8");
  s.carTitle.reset();
  for (double bad : {1e15, std::numeric_limits<double>::quiet_NaN()}) {
    s.writtenAt = Date{bad};
    EXPECT_FALSE(encodeSnapshot(s).ok()) << bad;
  }
}

TEST(SnapshotRoundTrip, EncodedRecordsDecodeEqualUpToWholeSeconds) {
  WidgetSnapshot s = *decodeSnapshot(complete().dump());
  s.batteryPercentage = 0.1 + 0.2;  // no rounding on the way
  s.rangeKm = std::numeric_limits<std::int64_t>::min();
  s.odometerKm = std::numeric_limits<std::int64_t>::max();
  s.isDriving = true;
  s.fullInMinutes = 0;
  s.carTitle = "Zoë \"quoted\" \\ \n\t\u0001 🚗";
  s.modelName = "";
  s.carReportedAt = Date{-86400};
  s.unit = DistanceUnit::miles;
  const auto back = decodeSnapshot(*encodeSnapshot(s));
  ASSERT_TRUE(back.ok()) << back.error().message;
  EXPECT_EQ(*back, s);

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
