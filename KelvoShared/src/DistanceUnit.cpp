#include "KelvoShared/DistanceUnit.h"

#include <cmath>

namespace kelvo {

namespace {
constexpr double kMilesPerKilometre = 0.621371;
}

std::optional<DistanceUnit> DistanceUnit::fromRawValue(std::string_view rawValue) {
  for (DistanceUnit unit : allCases()) {
    if (unit.rawValue() == rawValue) return unit;
  }
  return std::nullopt;
}

std::array<DistanceUnit, 2> DistanceUnit::allCases() { return {kilometers, miles}; }

std::string_view DistanceUnit::rawValue() const {
  return case_ == Case::kilometers ? "Kilometers (km)" : "Miles (mi)";
}

std::string_view DistanceUnit::suffix() const { return case_ == Case::kilometers ? "km" : "mi"; }

std::int64_t DistanceUnit::convert(std::int64_t km) const {
  if (case_ == Case::kilometers) return km;
  // std::round rounds halves away from zero; the magnitude never grows, so
  // the result always fits.
  return static_cast<std::int64_t>(std::round(static_cast<double>(km) * kMilesPerKilometre));
}

}  // namespace kelvo
