#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo {
namespace {

using Json = nlohmann::json;

Json requiredOnly() {
  return Json{{"batteryPercentage", 64.5},
              {"rangeKm", 412},
              {"statusKey", "CHARGING"},
              {"isDriving", false},
              {"writtenAt", "2026-01-15T08:30:00Z"},
              {"unit", "Kilometers (km)"},
              {"hasImage", false}};
}

Json complete() {
  Json document = requiredOnly();
  document["isPluggedIn"] = true;
  document["fullInMinutes"] = 95;
  document["chargingPowerWatts"] = 11000;
  document["carTitle"] = "Polestar 4 · 2026";
  document["modelName"] = "Polestar 4";
  document["registrationNo"] = "KLV 042";
  document["odometerKm"] = 23412;
  document["carReportedAt"] = "2026-01-15T08:28:00Z";
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

std::string failureWithout(const std::string& key) {
  Json document = complete();
  document.erase(key);
  return failureOf(document.dump());
}

TEST(SnapshotDecoding, CompleteDocumentGivesEveryField) {
  const auto result = decodeSnapshot(complete().dump(2));
  ASSERT_TRUE(result.ok()) << result.error().message;
  const WidgetSnapshot& s = *result;
  EXPECT_EQ(s.batteryPercentage, 64.5);
  EXPECT_EQ(s.rangeKm, 412);
  EXPECT_EQ(s.statusKey, "CHARGING");
  EXPECT_FALSE(s.isDriving);
  EXPECT_EQ(s.isPluggedIn, true);
  EXPECT_EQ(s.fullInMinutes, 95);
  EXPECT_EQ(s.chargingPowerWatts, 11000);
  EXPECT_EQ(s.carTitle, "Polestar 4 · 2026");
  EXPECT_EQ(s.modelName, "Polestar 4");
  EXPECT_EQ(s.registrationNo, "KLV 042");
  EXPECT_EQ(s.odometerKm, 23412);
  ASSERT_TRUE(s.carReportedAt.has_value());
  EXPECT_EQ(s.carReportedAt->secondsSince1970, 1768465680);
  EXPECT_EQ(s.writtenAt.secondsSince1970, 1768465800);
  EXPECT_EQ(s.unit, DistanceUnit::kilometers);
  EXPECT_FALSE(s.hasImage);
}

TEST(SnapshotDecoding, RequiredKeysAloneLeaveOptionalsAbsent) {
  const auto result = decodeSnapshot(requiredOnly().dump());
  ASSERT_TRUE(result.ok()) << result.error().message;
  const WidgetSnapshot& s = *result;
  EXPECT_FALSE(s.isPluggedIn || s.fullInMinutes || s.chargingPowerWatts || s.carTitle || s.modelName ||
               s.registrationNo || s.odometerKm || s.carReportedAt);
}

TEST(SnapshotDecoding, NullOptionalsAreAbsent) {
  Json document = complete();
  for (const char* key : {"isPluggedIn", "fullInMinutes", "chargingPowerWatts", "carTitle", "modelName",
                          "registrationNo", "odometerKm", "carReportedAt"}) {
    document[key] = nullptr;
  }
  const auto result = decodeSnapshot(document.dump());
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_FALSE(result->fullInMinutes.has_value());
  EXPECT_FALSE(result->carReportedAt.has_value());
  EXPECT_FALSE(result->isPluggedIn.has_value());
}

TEST(SnapshotDecoding, MissingOrNullRequiredKeyIsNamed) {
  for (const char* key :
       {"batteryPercentage", "rangeKm", "statusKey", "isDriving", "writtenAt", "unit", "hasImage"}) {
    EXPECT_EQ(failureWithout(key), std::string("key \"") + key + "\": missing");
    EXPECT_EQ(failureWith(key, nullptr), std::string("key \"") + key + "\": null where a value is required");
  }
}

TEST(SnapshotDecoding, WrongTypesFailForOptionalKeysToo) {
  EXPECT_EQ(failureWith("isPluggedIn", "true"),
            "key \"isPluggedIn\": expected true or false, found a string");
  EXPECT_EQ(failureWith("isDriving", 1), "key \"isDriving\": expected true or false, found a number");
  EXPECT_EQ(failureWith("rangeKm", "412"), "key \"rangeKm\": expected an integer, found a string");
  EXPECT_EQ(failureWith("fullInMinutes", true),
            "key \"fullInMinutes\": expected an integer, found a boolean");
  EXPECT_EQ(failureWith("batteryPercentage", "64"),
            "key \"batteryPercentage\": expected a number, found a string");
  EXPECT_EQ(failureWith("carTitle", 5), "key \"carTitle\": expected a string, found a number");
  EXPECT_EQ(failureWith("modelName", Json::array()), "key \"modelName\": expected a string, found an array");
  EXPECT_EQ(failureWith("registrationNo", Json::object()),
            "key \"registrationNo\": expected a string, found an object");
  EXPECT_EQ(failureWith("statusKey", false), "key \"statusKey\": expected a string, found a boolean");
  EXPECT_EQ(failureWith("hasImage", "no"), "key \"hasImage\": expected true or false, found a string");
}

TEST(SnapshotDecoding, IntegersMustBeWholeAndFitSixtyFourBits) {
  const auto withRange = [](std::string_view number) {
    std::string text = complete().dump();
    const std::string from = "\"rangeKm\":412";
    text.replace(text.find(from), from.size(), "\"rangeKm\":" + std::string(number));
    return text;
  };
  for (const auto& [number, expected] : std::vector<std::pair<std::string, std::int64_t>>{
           {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
           {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
           {"0", 0},
           {"-0", 0}}) {
    const auto result = decodeSnapshot(withRange(number));
    ASSERT_TRUE(result.ok()) << number << ": " << result.error().message;
    EXPECT_EQ(result->rangeKm, expected);
  }
  EXPECT_EQ(failureOf(withRange("9223372036854775808")),
            "key \"rangeKm\": 9223372036854775808 does not fit a 64-bit signed integer");
  EXPECT_EQ(failureOf(withRange("18446744073709551616")),
            "key \"rangeKm\": 1.8446744073709552e+19 does not fit a 64-bit signed integer");
  EXPECT_EQ(failureOf(withRange("-9223372036854775809")),
            "key \"rangeKm\": -9.223372036854776e+18 does not fit a 64-bit signed integer");
  EXPECT_EQ(failureOf(withRange("412.5")), "key \"rangeKm\": 412.5 is not an integer");
  // Decimal and exponent forms are refused even when whole.
  EXPECT_EQ(failureOf(withRange("412.0")), "key \"rangeKm\": 412.0 is not an integer");
  EXPECT_EQ(failureOf(withRange("4.12e2")), "key \"rangeKm\": 412.0 is not an integer");
  EXPECT_NE(failureWith("odometerKm", 1e30).find("does not fit"), std::string::npos);
}

TEST(SnapshotDecoding, BatteryTakesAnyFiniteNumber) {
  for (const auto& [number, expected] :
       std::vector<std::pair<std::string, double>>{{"64", 64}, {"-3", -3}, {"1e2", 100}, {"12.25", 12.25}}) {
    Json document = complete();
    std::string text = document.dump();
    text.replace(text.find("64.5"), 4, number);
    const auto result = decodeSnapshot(text);
    ASSERT_TRUE(result.ok()) << number;
    EXPECT_EQ(result->batteryPercentage, expected);
  }
  EXPECT_NE(failureOf(R"({"batteryPercentage":1e400})").find("not JSON"), std::string::npos);
}

TEST(SnapshotDecoding, DatesMustBeInternetDateTimes) {
  EXPECT_EQ(failureWith("writtenAt", 1768465800),
            "key \"writtenAt\": expected a date-time string, found a number");
  EXPECT_EQ(failureWith("writtenAt", "2026-01-15"),
            "key \"writtenAt\": \"2026-01-15\" is not an RFC 3339 date-time");
  EXPECT_EQ(failureWith("carReportedAt", "yesterday"),
            "key \"carReportedAt\": \"yesterday\" is not an RFC 3339 date-time");
  EXPECT_EQ(failureWith("writtenAt", "2026-02-30T08:30:00Z"),
            "key \"writtenAt\": \"2026-02-30T08:30:00Z\" is not an RFC 3339 date-time");
}

TEST(SnapshotDecoding, UnitIsTheExactRawValue) {
  EXPECT_EQ(failureWith("unit", "km"), "key \"unit\": \"km\" is not a distance unit");
  EXPECT_EQ(failureWith("unit", "miles"), "key \"unit\": \"miles\" is not a distance unit");
  EXPECT_EQ(failureWith("unit", "Miles(mi)"), "key \"unit\": \"Miles(mi)\" is not a distance unit");
  Json document = complete();
  document["unit"] = "Miles (mi)";
  const auto result = decodeSnapshot(document.dump());
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result->unit, DistanceUnit::miles);
}

TEST(SnapshotDecoding, LongQuotedValuesAreShortened) {
  const std::string message = failureWith("unit", std::string(500, 'x'));
  EXPECT_LT(message.size(), 80u);
  EXPECT_TRUE(message.starts_with("key \"unit\": \"xxxx")) << message;
}

TEST(SnapshotDecoding, UnknownMembersAreIgnoredWhateverTheyHold) {
  Json document = complete();
  document["extra"] = Json{{"nested", Json::array({1, nullptr, "x"})}};
  document["batterypercentage"] = "wrong case, not ours";
  document["z"] = 1e300;
  const auto result = decodeSnapshot(document.dump());
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(*result, *decodeSnapshot(complete().dump()));
}

TEST(SnapshotDecoding, DocumentsThatAreNotAnObjectFail) {
  EXPECT_TRUE(failureOf("").starts_with("not JSON:"));
  EXPECT_TRUE(failureOf("{").starts_with("not JSON:"));
  EXPECT_TRUE(failureOf("{\"rangeKm\":1,}").starts_with("not JSON:"));
  EXPECT_TRUE(failureOf(complete().dump() + " {}").starts_with("not JSON:"));
  EXPECT_TRUE(failureOf("NaN").starts_with("not JSON:"));
  EXPECT_EQ(failureOf("[]"), "not a JSON object at the top level, found an array");
  EXPECT_EQ(failureOf("\"text\""), "not a JSON object at the top level, found a string");
  EXPECT_EQ(failureOf("null"), "not a JSON object at the top level, found null");
}

TEST(SnapshotDecoding, InvalidUtf8FailsAndTheMessageStaysValid) {
  for (const std::string& bad : {std::string("\xC3\x28", 2), std::string("\xED\xA0\x80", 3),  // surrogate
                                 std::string("\xC0\xAF", 2), std::string("\xF4\x90\x80\x80", 4)}) {
    Json document = complete();
    std::string text = document.dump();
    text.replace(text.find("KLV 042"), 7, bad);
    const std::string message = failureOf(text);
    EXPECT_TRUE(message.starts_with("not JSON:")) << message;
    EXPECT_NO_THROW((void)Json(message).dump()) << "message is not valid UTF-8";
  }
  EXPECT_TRUE(failureOf(R"({"carTitle":"\ud800"})").starts_with("not JSON:"));
}

TEST(SnapshotEncoding, CompactInFieldOrderWithoutAbsentOptionals) {
  const auto full = decodeSnapshot(complete().dump());
  ASSERT_TRUE(full.ok());
  EXPECT_EQ(
      *encodeSnapshot(*full),
      R"j({"batteryPercentage":64.5,"rangeKm":412,"statusKey":"CHARGING","isDriving":false,)j"
      R"j("isPluggedIn":true,"fullInMinutes":95,"chargingPowerWatts":11000,"carTitle":"Polestar 4 · 2026",)j"
      R"j("modelName":"Polestar 4","registrationNo":"KLV 042","odometerKm":23412,)j"
      R"j("carReportedAt":"2026-01-15T08:28:00Z","writtenAt":"2026-01-15T08:30:00Z",)j"
      R"j("unit":"Kilometers (km)","hasImage":false})j");
  Json nulls = requiredOnly();
  nulls["fullInMinutes"] = nullptr;
  const auto sparse = decodeSnapshot(nulls.dump());
  ASSERT_TRUE(sparse.ok());
  const auto text = encodeSnapshot(*sparse);
  ASSERT_TRUE(text.ok());
  const Json written = Json::parse(*text);
  EXPECT_EQ(written.size(), 7u);
  EXPECT_FALSE(written.contains("fullInMinutes"));
  EXPECT_EQ(text->find("null"), std::string::npos);
}

TEST(SnapshotEncoding, NonFiniteBatteryAndUnwritableValuesFail) {
  WidgetSnapshot s = *decodeSnapshot(complete().dump());
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    s.batteryPercentage = bad;
    const auto result = encodeSnapshot(s);
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(result.error().message.starts_with("key \"batteryPercentage\"")) << result.error().message;
  }
  s.batteryPercentage = 50;
  s.carTitle = std::string("\xFF", 1);
  EXPECT_EQ(encodeSnapshot(s).error().message, "key \"carTitle\": text is not valid UTF-8");
  s.carTitle.reset();
  s.writtenAt = Date{1e15};
  EXPECT_FALSE(encodeSnapshot(s).ok());
  s.writtenAt = Date{std::numeric_limits<double>::quiet_NaN()};
  EXPECT_FALSE(encodeSnapshot(s).ok());
}

TEST(SnapshotRoundTrip, EncodedRecordsDecodeEqual) {
  WidgetSnapshot s;
  s.batteryPercentage = 0.1 + 0.2;  // no rounding on the way
  s.rangeKm = std::numeric_limits<std::int64_t>::min();
  s.statusKey = "SMART_CHARGING";
  s.isDriving = true;
  s.isPluggedIn = false;
  s.fullInMinutes = 0;
  s.chargingPowerWatts = -1;
  s.carTitle = "Zoë \"quoted\" \\ \n\t\u0001 🚗";
  s.modelName = "";
  s.odometerKm = std::numeric_limits<std::int64_t>::max();
  s.carReportedAt = Date{-86400};
  s.writtenAt = Date{1768465800};
  s.unit = DistanceUnit::miles;
  s.hasImage = true;
  const auto text = encodeSnapshot(s);
  ASSERT_TRUE(text.ok()) << text.error().message;
  const auto back = decodeSnapshot(*text);
  ASSERT_TRUE(back.ok()) << back.error().message;
  EXPECT_EQ(*back, s);
}

TEST(SnapshotRoundTrip, FractionalSecondsAreDropped) {
  WidgetSnapshot s = *decodeSnapshot(complete().dump());
  s.writtenAt = Date{1768465800.75};
  const auto back = decodeSnapshot(*encodeSnapshot(s));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->writtenAt.secondsSince1970, 1768465800);
  EXPECT_NE(*back, s);
  EXPECT_TRUE(back->sameData(s));

  s.carReportedAt = Date{1768465680.5};
  const auto reported = decodeSnapshot(*encodeSnapshot(s));
  ASSERT_TRUE(reported.ok());
  EXPECT_FALSE(reported->sameData(s));
}

}  // namespace
}  // namespace kelvo
