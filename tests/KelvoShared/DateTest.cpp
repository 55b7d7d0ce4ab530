#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KelvoShared/Date.h"

namespace kelvo {
namespace {

TEST(DateFormat, WholeSecondsInUtcClampedToFourDigitYears) {
  for (const auto& [seconds, text] :
       std::vector<std::pair<double, std::string>>{{1768465800.999, "2026-01-15T08:30:00Z"},
                                                   {-0.5, "1969-12-31T23:59:59Z"},  // toward the past
                                                   {951782400, "2000-02-29T00:00:00Z"},
                                                   {-62167219200, "0000-01-01T00:00:00Z"},
                                                   {253402300799, "9999-12-31T23:59:59Z"},
                                                   {1e300, "9999-12-31T23:59:59Z"},
                                                   {-1e300, "0000-01-01T00:00:00Z"}}) {
    EXPECT_EQ(formatInternetDateTime(Date{seconds}), text);
    if (std::abs(seconds) < 1e300) {
      EXPECT_EQ(parseInternetDateTime(text), Date{std::floor(seconds)});  // and back
    }
  }
  EXPECT_EQ(formatInternetDateTimeMillis(Date{1768465800.25}), "2026-01-15T08:30:00.250Z");
  EXPECT_EQ(formatInternetDateTimeMillis(Date{-0.001}), "1969-12-31T23:59:59.999Z");

  EXPECT_FALSE(isInternetDateTimeRepresentable(Date{253402300800}));
  EXPECT_FALSE(isInternetDateTimeRepresentable(Date{-62167219201}));
  EXPECT_TRUE(isInternetDateTimeRepresentable(Date{253402300799.5}));
}

TEST(DateParse, AcceptsInternetDateTimesOnly) {
  for (const char* text :
       {"2026-01-15T08:30:00Z", "2026-01-15T09:30:00+01:00", "2026-01-15T03:00:00-05:30"}) {
    EXPECT_EQ(parseInternetDateTime(text), Date{1768465800}) << text;
  }
  EXPECT_EQ(parseInternetDateTime("2026-01-15T08:30:00.5Z"), Date{1768465800.5});
  EXPECT_EQ(parseInternetDateTime("2024-02-29T23:59:59Z"), Date{1709251199});

  const char* const kInvalid[] = {"2026-01-15",
                                  "2026-01-15T08:30:00",
                                  "2026-01-15 08:30:00Z",
                                  "2026-01-15t08:30:00Z",
                                  "2026-1-15T08:30:00Z",
                                  "2026-13-01T00:00:00Z",
                                  "2026-02-29T00:00:00Z",
                                  "1900-02-29T00:00:00Z",
                                  "2026-01-15T24:00:00Z",
                                  "2026-12-31T23:59:60Z",
                                  "2026-01-15T08:30:00.Z",
                                  "2026-01-15T08:30:00+0100",
                                  "2026-01-15T08:30:00+24:00",
                                  "2026-01-15T08:30:00Z ",
                                  "0000-01-01T00:00:00+00:01",
                                  "２０２６-01-15T08:30:00Z",
                                  ""};
  for (const char* text : kInvalid) {
    EXPECT_FALSE(parseInternetDateTime(text).has_value()) << text;
  }
  EXPECT_FALSE(parseInternetDateTime(std::string_view("2026-01-15T08:30:00Z\0", 21)).has_value());
}

}  // namespace
}  // namespace kelvo
