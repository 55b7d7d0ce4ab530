#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

// The unit in which the user wants distances shown. Distances are held in
// whole kilometres everywhere and converted only when turned into text.
class DistanceUnit {
 public:
  enum class Case { kilometers, miles };

  static const DistanceUnit kilometers;
  static const DistanceUnit miles;

  constexpr DistanceUnit(Case value) : case_(value) {}  // NOLINT: implicit like an enum

  // The unit whose stored form is exactly `rawValue`, or nothing.
  static std::optional<DistanceUnit> fromRawValue(std::string_view rawValue);
  static std::array<DistanceUnit, 2> allCases();

  Case value() const { return case_; }
  // The stored form: "Kilometers (km)" or "Miles (mi)".
  std::string_view rawValue() const;
  // The short, never localised suffix: "km" or "mi".
  std::string_view suffix() const;
  // A distance in whole kilometres converted to this unit, rounded half away
  // from zero.
  std::int64_t convert(std::int64_t km) const;
  // The localised display name (the raw value looked up as a key).
  std::string title() const;

  friend bool operator==(DistanceUnit a, DistanceUnit b) { return a.case_ == b.case_; }

 private:
  Case case_;
};

inline constexpr DistanceUnit DistanceUnit::kilometers{DistanceUnit::Case::kilometers};
inline constexpr DistanceUnit DistanceUnit::miles{DistanceUnit::Case::miles};

}  // namespace kelvo
