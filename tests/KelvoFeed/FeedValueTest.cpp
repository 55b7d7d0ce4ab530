// Reading payloads: numbers, durations, instants, JSON pointers, and text
// made safe for one log line. A NaN expectation means "refused".

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "FeedValue.h"

namespace {

using namespace kelvo::feed;
constexpr double kRefused = NAN;

template <class T>
void expectValue(const kelvo::Result<T>& parsed, double expected, const std::string& text) {
  EXPECT_EQ(parsed.ok(), !std::isnan(expected)) << text;
  if (parsed && !std::isnan(expected)) {
    EXPECT_DOUBLE_EQ(static_cast<double>(*parsed), expected) << text;
  }
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
  for (const auto& [pointer, text] : {std::pair{"/soc", "71.5"},
                                      {"/car/name", "Zoé"},
                                      {"/car/plugged", "true"},
                                      {"/gone", ""},
                                      {"/missing", "(refused)"},
                                      {"/car/name/x", "(refused)"}}) {
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

}  // namespace
