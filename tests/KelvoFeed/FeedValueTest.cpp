// Reading payloads: numbers, truth values, durations, instants, JSON
// pointers, and text made safe for one log line.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "FeedValue.h"

namespace {

using namespace kelvo::feed;

TEST(FeedValue, NumbersBooleansDurationsAndInstants) {
  struct NumberCase {
    const char* text;
    std::optional<double> value;
  };
  for (const NumberCase& c : {NumberCase{"88", 88},
                              {" 372.5\n", 372.5},
                              {"-9", -9},
                              {"+4", 4},
                              {"1e3", 1000},
                              {"", std::nullopt},
                              {"abc", std::nullopt},
                              {"nan", std::nullopt},
                              {"inf", std::nullopt},
                              {"1e999", std::nullopt},
                              {"0x10", std::nullopt},
                              {"12 km", std::nullopt},
                              {"1.2.3", std::nullopt}}) {
    const auto parsed = parseNumber(c.text);
    EXPECT_EQ(parsed.ok(), c.value.has_value()) << c.text;
    if (parsed && c.value) {
      EXPECT_EQ(*parsed, *c.value) << c.text;
    }
  }

  for (const auto& [text, value] : {std::pair{"true", true}, {"False", false}, {"1", true}, {"off", false}}) {
    EXPECT_EQ(*parseBoolean(text), value) << text;
  }
  EXPECT_FALSE(parseBoolean("maybe"));

  struct DurationCase {
    const char* text;
    std::optional<double> seconds;
  };
  for (const DurationCase& c : {DurationCase{"5400", 5400},
                                {"5400000000000", 5400},
                                {"1h30m0s", 5400},
                                {"45m", 2700},
                                {"1.5h", 5400},
                                {"250ms", 0.25},
                                {"2m30s", 150},
                                {"90 minutes", std::nullopt},
                                {"h", std::nullopt},
                                {"-5m", std::nullopt}}) {
    const auto parsed = parseDuration(c.text);
    EXPECT_EQ(parsed.ok(), c.seconds.has_value()) << c.text;
    if (parsed && c.seconds) {
      EXPECT_DOUBLE_EQ(*parsed, *c.seconds) << c.text;
    }
  }

  EXPECT_EQ(parseInstant("2026-12-06T07:00:00Z")->secondsSince1970, 1796540400);
  EXPECT_EQ(parseInstant("1796540400")->secondsSince1970, 1796540400);
  EXPECT_FALSE(parseInstant("tomorrow"));
  EXPECT_FALSE(parseInstant("-1"));
  EXPECT_FALSE(parseInstant("1e300")) << "beyond the years a snapshot can hold";
}

TEST(FeedValue, JsonPointers) {
  const std::string payload = R"({"soc": 71.5, "car": {"name": "Zoé", "plugged": true}, "gone": null})";
  struct Case {
    const char* pointer;
    std::optional<std::string> text;
  };
  for (const Case& c : {Case{"/soc", "71.5"},
                        {"/car/name", "Zoé"},
                        {"/car/plugged", "true"},
                        {"/gone", ""},
                        {"/missing", std::nullopt},
                        {"/car/name/x", std::nullopt}}) {
    const auto text = extractJsonPointer(payload, c.pointer);
    EXPECT_EQ(text.ok(), c.text.has_value()) << c.pointer;
    if (text && c.text) {
      EXPECT_EQ(*text, *c.text) << c.pointer;
    }
  }
  EXPECT_FALSE(extractJsonPointer("{not json", "/soc"));
}

TEST(FeedValue, EscapeForLog) {
  struct Case {
    std::string text;
    std::size_t limit;
    std::string escaped;
  };
  for (const Case& c : {Case{"plain", 120, "plain"},
                        {"a\nb\tc\r", 120, "a\\nb\\tc\\r"},
                        {"\x1b[31mred", 120, "\\x1b[31mred"},
                        {"del\x7f", 120, "del\\x7f"},
                        {"back\\slash", 120, "back\\\\slash"},
                        {"Zoé 🚗", 120, "Zoé 🚗"},
                        {"bad\xff\xc3(", 120, "bad\\xff\\xc3("},
                        {"abcdef", 3, "abc…"},
                        {"ééé", 3, "éé…"}}) {  // never cut inside "é"
    EXPECT_EQ(escapeForLog(c.text, c.limit), c.escaped) << c.text;
  }
}

}  // namespace
