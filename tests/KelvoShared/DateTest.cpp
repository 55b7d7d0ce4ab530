#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KelvoShared/Date.h"

namespace kelvo {
namespace {

TEST(DateFormat, WholeSecondsInUtc) {
  EXPECT_EQ(formatInternetDateTime(Date{0}), "1970-01-01T00:00:00Z");
  EXPECT_EQ(formatInternetDateTime(Date{1768465800}), "2026-01-15T08:30:00Z");
  EXPECT_EQ(formatInternetDateTime(Date{1768465800.999}), "2026-01-15T08:30:00Z");
  EXPECT_EQ(formatInternetDateTime(Date{-0.5}), "1969-12-31T23:59:59Z");  // toward the past
  EXPECT_EQ(formatInternetDateTime(Date{951782400}), "2000-02-29T00:00:00Z");
  EXPECT_EQ(formatInternetDateTime(Date{-62167219200}), "0000-01-01T00:00:00Z");
  EXPECT_EQ(formatInternetDateTime(Date{253402300799}), "9999-12-31T23:59:59Z");
}

TEST(DateFormat, MillisecondsForTheHost) {
  EXPECT_EQ(formatInternetDateTimeMillis(Date{1768465800.25}), "2026-01-15T08:30:00.250Z");
  EXPECT_EQ(formatInternetDateTimeMillis(Date{1768465800.123}), "2026-01-15T08:30:00.123Z");
  EXPECT_EQ(formatInternetDateTimeMillis(Date{-0.001}), "1969-12-31T23:59:59.999Z");
}

TEST(DateFormat, OutOfRangeIsClampedAndReported) {
  EXPECT_FALSE(isInternetDateTimeRepresentable(Date{std::numeric_limits<double>::quiet_NaN()}));
  EXPECT_FALSE(isInternetDateTimeRepresentable(Date{std::numeric_limits<double>::infinity()}));
  EXPECT_FALSE(isInternetDateTimeRepresentable(Date{253402300800}));
  EXPECT_FALSE(isInternetDateTimeRepresentable(Date{-62167219201}));
  EXPECT_TRUE(isInternetDateTimeRepresentable(Date{253402300799.5}));
  EXPECT_EQ(formatInternetDateTime(Date{1e300}), "9999-12-31T23:59:59Z");
  EXPECT_EQ(formatInternetDateTime(Date{-1e300}), "0000-01-01T00:00:00Z");
}

TEST(DateParse, AcceptsInternetDateTimes) {
  EXPECT_EQ(parseInternetDateTime("2026-01-15T08:30:00Z")->secondsSince1970, 1768465800);
  EXPECT_EQ(parseInternetDateTime("2026-01-15T09:30:00+01:00")->secondsSince1970, 1768465800);
  EXPECT_EQ(parseInternetDateTime("2026-01-15T03:00:00-05:30")->secondsSince1970, 1768465800);
  EXPECT_EQ(parseInternetDateTime("2026-01-15T08:30:00.5Z")->secondsSince1970, 1768465800.5);
  EXPECT_EQ(parseInternetDateTime("2024-02-29T23:59:59Z")->secondsSince1970, 1709251199);
  EXPECT_EQ(parseInternetDateTime("1969-12-31T23:59:59Z")->secondsSince1970, -1);
  EXPECT_EQ(parseInternetDateTime("0000-01-01T00:00:00Z")->secondsSince1970, -62167219200);
}

TEST(DateParse, RejectsEverythingElse) {
  for (const char* text : {"",
                           "2026-01-15",
                           "2026-01-15T08:30Z",
                           "2026-01-15T08:30:00",
                           "2026-01-15 08:30:00Z",
                           "2026-01-15t08:30:00Z",
                           "2026-01-15T08:30:00z",
                           "1768465800",
                           "2026-1-15T08:30:00Z",
                           "2026-13-01T00:00:00Z",
                           "2026-00-01T00:00:00Z",
                           "2026-02-29T00:00:00Z",
                           "1900-02-29T00:00:00Z",
                           "2026-04-31T00:00:00Z",
                           "2026-01-15T24:00:00Z",
                           "2026-01-15T08:60:00Z",
                           "2026-12-31T23:59:60Z",
                           "2026-01-15T08:30:00.Z",
                           "2026-01-15T08:30:00+0100",
                           "2026-01-15T08:30:00+24:00",
                           "2026-01-15T08:30:00Z ",
                           " 2026-01-15T08:30:00Z",
                           "+2026-01-15T08:30:00Z",
                           "2026-01-15T08:30:00ZZ",
                           "0000-01-01T00:00:00+00:01",
                           "9999-12-31T23:59:59-00:01",
                           "２０２６-01-15T08:30:00Z"}) {
    EXPECT_FALSE(parseInternetDateTime(text).has_value()) << text;
  }
  EXPECT_FALSE(parseInternetDateTime(std::string_view("2026-01-15T08:30:00Z\0", 21)).has_value());
}

TEST(DateParse, RoundTripsWholeSeconds) {
  for (double seconds : {0.0, 1768465800.0, -62167219200.0, 253402300799.0, 951868800.0, -1.0}) {
    const auto back = parseInternetDateTime(formatInternetDateTime(Date{seconds}));
    ASSERT_TRUE(back.has_value()) << seconds;
    EXPECT_EQ(back->secondsSince1970, seconds);
  }
}

}  // namespace
}  // namespace kelvo
