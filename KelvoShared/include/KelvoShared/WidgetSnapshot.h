#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "KelvoBase/Result.h"
#include "KelvoShared/Date.h"
#include "KelvoShared/DistanceUnit.h"

namespace kelvo {

// The state of one car at one moment, as the companion side last learned it.
// Field names are the JSON keys of snapshot.json; the order is the order of
// the keys on writing and of the comparisons in ==.
struct WidgetSnapshot {
  double batteryPercentage = 0;                    // charge level in percent (not clamped)
  std::int64_t rangeKm = 0;                        // remaining range in kilometres
  std::string statusKey;                           // charging state, e.g. "CHARGING"
  bool isDriving = false;                          // the car is in use
  std::optional<bool> isPluggedIn;                 // a charging cable is connected
  std::optional<std::int64_t> fullInMinutes;       // minutes until full
  std::optional<std::int64_t> chargingPowerWatts;  // charging power in watts
  std::optional<std::string> carTitle;             // display title of the car
  std::optional<std::string> modelName;            // model name
  std::optional<std::string> registrationNo;       // licence plate
  std::optional<std::int64_t> odometerKm;          // odometer in kilometres
  std::optional<Date> carReportedAt;               // when the car last reported
  Date writtenAt;                                  // when the snapshot was written
  DistanceUnit unit = DistanceUnit::kilometers;    // unit for showing distances
  bool hasImage = false;                           // a car.png goes with this snapshot

  // True for the status keys "CHARGING" and "SMART_CHARGING" (exact match).
  bool isCharging() const;
  // Equal in every field but writtenAt.
  bool sameData(const WidgetSnapshot& other) const;

  // "In use" while driving, else the display name of statusKey (localised).
  std::string statusText() const;
  // The range in the snapshot's unit, plain digits: "412 km", "256 mi".
  std::string rangeText() const;

  // NaN equals nothing; texts compare by Unicode canonical equivalence.
  friend bool operator==(const WidgetSnapshot& a, const WidgetSnapshot& b);
};

// Texts equal under Unicode canonical equivalence (NFD of both compared).
bool canonicallyEqual(std::string_view a, std::string_view b);

// Decodes snapshot.json strictly. Never throws; the error names the key and
// what was wrong with it.
Result<WidgetSnapshot> decodeSnapshot(std::string_view json);

// Encodes compactly, keys in field order, absent optionals left out, dates in
// whole seconds. Fails (and gives no text) for a non-finite battery value.
Result<std::string> encodeSnapshot(const WidgetSnapshot& snapshot);

}  // namespace kelvo
