#pragma once

#include <unicode/locid.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "KelvoShared/DistanceUnit.h"

namespace kelvo {

// Stateless text formatting of the car's values. Every function computes its
// text afresh from its arguments (number formatters are made per call), so
// all of them may be called from several threads at once.
struct CarFormat {
  CarFormat() = delete;

  // Whether a distance is written with the locale's grouping separators.
  enum class Grouping { grouped, plain };

  // The display name of a charging-state key: the localised name for the
  // eight known keys (exact, case-sensitive), otherwise the key with "_" as
  // spaces, capitalised word by word, not localised.
  static std::string humanStatus(std::string_view key);

  // "45min", "2h", "2h5m": plain digits, never localised. At most 59 minutes
  // (zero and negatives too) is written in minutes.
  static std::string shortDuration(std::int64_t minutes);

  // "7.4 kW", "11 kW": the locale's decimal style, one fraction digit below
  // 10 kW and none from 10 kW (decided before rounding), half to even.
  static std::string kilowatts(std::int64_t watts, const icu::Locale& locale);

  // "1,234 km" grouped as the locale groups integers, or "1234 km" in plain
  // digits; `km` is converted to `unit` first.
  static std::string distance(std::int64_t km, Grouping grouping, DistanceUnit unit,
                              const icu::Locale& locale);

  // Each white-space separated word with its first letter in upper (title)
  // case and the rest in lower case; the white space is kept as it is.
  // Malformed UTF-8 comes out as U+FFFD.
  static std::string capitalized(std::string_view text);
};

}  // namespace kelvo
