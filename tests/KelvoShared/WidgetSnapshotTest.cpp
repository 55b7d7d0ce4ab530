#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "KelvoShared/WidgetSnapshot.h"
#include "SampleSnapshot.h"

namespace kelvo {
namespace {

using testing::sampleSnapshot;

TEST(SnapshotEquality, EveryFieldCountsAndTextsCompareCanonically) {
  const WidgetSnapshot base = sampleSnapshot();
  // clang-format off
  const std::vector<std::function<void(WidgetSnapshot&)>> changes = {
      [](auto& s) { s.batteryPercentage = 64.0001; }, [](auto& s) { s.rangeKm = 319; }, [](auto& s) { s.statusKey = "IDLE"; },
      [](auto& s) { s.isDriving = true; }, [](auto& s) { s.isPluggedIn.reset(); } /* absent is neither true nor false */,
      [](auto& s) { s.fullInMinutes = 0; } /* present 0 is not absent */, [](auto& s) { s.chargingPowerWatts = 11000; },
      [](auto& s) { s.carTitle = "Polestar 4 - 2026"; }, [](auto& s) { s.modelName = ""; }, [](auto& s) { s.registrationNo = "KLV 042"; },
      [](auto& s) { s.odometerKm = 1; }, [](auto& s) { s.carReportedAt.reset(); }, [](auto& s) { s.writtenAt.secondsSince1970 += 0.5; },
      [](auto& s) { s.unit = DistanceUnit::miles; }, [](auto& s) { s.hasImage = true; },
      [](auto& s) { s.statusKey = "\uFB01"; } /* only compatibility-equivalent to "fi" */};
  // clang-format on
  for (std::size_t i = 0; i < changes.size(); ++i) {
    WidgetSnapshot changed = base;
    changes[i](changed);
    EXPECT_NE(changed, base) << "change " << i + 1;
  }
  WidgetSnapshot composed = base, decomposed = base;
  composed.carTitle = "Zo\u00EB", decomposed.carTitle = "Zoe\u0308";  // ë as one code point, or e + diaeresis
  EXPECT_EQ(composed, decomposed);
  // Marks reordered canonically are equal; bytes that both become U+FFFD in ICU are not.
  for (const auto& [a, b, equal] :
       {std::tuple{"a\u0301\u0323", "a\u0323\u0301", true}, {"\xFF", "\xFE", false}, {"\xFF", "\xFF", true}})
    EXPECT_EQ(canonicallyEqual(a, b), equal) << a;
}

TEST(SnapshotDerived, ChargingByTwoExactKeysMilesRoundedHalfAwayFromZeroAndExactUnitNames) {
  WidgetSnapshot s = sampleSnapshot();
  s.isDriving = true;  // the key alone decides
  // clang-format off
  for (const auto& [key, charging] : std::vector<std::pair<const char*, bool>>{{"CHARGING", true}, {"SMART_CHARGING", true},
           {"charging", false}, {"CHARGING ", false}, {"DONE", false}, {"", false}}) {
    s.statusKey = key;
    EXPECT_EQ(s.isCharging(), charging) << key;
  }
  const auto maxKm = std::numeric_limits<std::int64_t>::max();  // the extremes stay in range
  for (const auto& [km, miles] : std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {-1, -1},
           {-3, -2}, {412, 256}, {805, 500}, {1234, 767}, {maxKm, 5731135905912488960}, {-maxKm - 1, -5731135905912488960}})
    EXPECT_EQ(DistanceUnit::miles.convert(km), miles) << km;
  // clang-format on
  EXPECT_EQ(DistanceUnit::kilometers.convert(-7), -7);
  for (const char* text : {"miles", "mi", "Miles(mi)", "miles (mi)", "km", "Kilometers (km) ", ""})
    EXPECT_FALSE(DistanceUnit::fromRawValue(text).has_value()) << text;
}

}  // namespace
}  // namespace kelvo
