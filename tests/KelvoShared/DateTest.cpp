#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "KelvoShared/Date.h"

namespace kelvo {
namespace {

TEST(DateFormat, WholeSecondsInUtcClampedToFourDigitYears) {
  // clang-format off
  for (const auto& [seconds, text] : std::vector<std::pair<double, std::string>>{
           {1768465800.999, "2026-01-15T08:30:00Z"}, {-0.5, "1969-12-31T23:59:59Z"} /* toward the past */,
           {951782400, "2000-02-29T00:00:00Z"}, {-62167219200, "0000-01-01T00:00:00Z"},
           {253402300799, "9999-12-31T23:59:59Z"}, {1e300, "9999-12-31T23:59:59Z"}, {-1e300, "0000-01-01T00:00:00Z"}}) {
    EXPECT_EQ(formatInternetDateTime(Date{seconds}), text);
    EXPECT_EQ(parseInternetDateTime(text), Date{std::clamp(std::floor(seconds), -62167219200.0, 253402300799.0)});  // and back
  }
  // clang-format on
  EXPECT_EQ(formatInternetDateTimeMillis(Date{1768465800.25}), "2026-01-15T08:30:00.250Z");
  EXPECT_EQ(formatInternetDateTimeMillis(Date{-0.001}), "1969-12-31T23:59:59.999Z");
  for (const auto& [seconds, representable] :
       {std::pair{253402300800.0, false}, {-62167219201.0, false}, {253402300799.5, true}})
    EXPECT_EQ(isInternetDateTimeRepresentable(Date{seconds}), representable) << seconds;
}

TEST(DateParse, AcceptsInternetDateTimesOnly) {
  // clang-format off
  for (const auto& [text, seconds] : std::vector<std::pair<std::string, double>>{
           {"2026-01-15T09:30:00+01:00", 1768465800}, {"2026-01-15T03:00:00-05:30", 1768465800},
           {"2026-01-15T08:30:00.5Z", 1768465800.5}, {"2024-02-29T23:59:59Z", 1709251199},
           {"2026-01-15", NAN}, {"2026-01-15T08:30:00", NAN}, {"2026-01-15 08:30:00Z", NAN}, {"2026-01-15t08:30:00Z", NAN},
           {"2026-1-15T08:30:00Z", NAN}, {"2026-13-01T00:00:00Z", NAN}, {"2026-02-29T00:00:00Z", NAN},
           {"1900-02-29T00:00:00Z", NAN}, {"2026-01-15T24:00:00Z", NAN}, {"2026-12-31T23:59:60Z", NAN},
           {"2026-01-15T08:30:00.Z", NAN}, {"2026-01-15T08:30:00+0100", NAN}, {"2026-01-15T08:30:00+24:00", NAN},
           {"2026-01-15T08:30:00Z ", NAN}, {"0000-01-01T00:00:00+00:01", NAN}, {"２０２６-01-15T08:30:00Z", NAN}, {"", NAN},
           {std::string("2026-01-15T08:30:00Z\0", 21), NAN}}) {
    // clang-format on
    const auto parsed = parseInternetDateTime(text);
    EXPECT_EQ(parsed, std::isnan(seconds) ? std::nullopt : std::optional(Date{seconds})) << text;
  }
}

}  // namespace
}  // namespace kelvo
