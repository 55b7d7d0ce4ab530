#pragma once

// Which topics feed which values, and how each payload is read. The presets
// are tables here; a user's [map] group becomes the same kind of table.

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Ini.h"
#include "KelvoBase/Result.h"

namespace kelvo::feed {

using apps::IniEntry;

// Where the car's state comes from; decides the snapshot rules (CarState).
enum class Preset { teslamate, evcc, snapshot, map };

struct PresetInfo {
  Preset preset;
  std::string_view name;  // in feed.ini and on the command line
  std::string_view help;  // a few words, for --help and the manual
};

// The one list of preset names, in declaration order of Preset.
inline constexpr std::array<PresetInfo, 4> kPresets{{
    {Preset::teslamate, "teslamate", "TeslaMate's topics for one car"},
    {Preset::evcc, "evcc", "evcc's topics for one loadpoint"},
    {Preset::snapshot, "snapshot", "whole snapshot documents on one topic"},
    {Preset::map, "map", "the topics of the config file's [map] group"},
}};
constexpr bool presetRowsInOrder() {
  for (std::size_t i = 0; i < kPresets.size(); ++i) {
    if (kPresets[i].preset != static_cast<Preset>(i)) return false;
  }
  return kPresets.back().preset == Preset::map;
}
static_assert(presetRowsInOrder(), "kPresets needs one row per Preset, in declaration order");

std::optional<Preset> parsePreset(std::string_view name);
// The names in table order.
std::vector<std::string> presetNames();

enum class InputKind {
  number,    // a decimal number, scaled and range-checked
  boolean,   // true/false
  text,      // UTF-8 text
  instant,   // RFC 3339 or Unix seconds
  duration,  // seconds (see parseDuration), then scaled
  document,  // a whole snapshot document
};

enum class Rounding { none, nearest, down, up };

// What a payload that carries no reading means (an empty one, or a 0 where
// the source uses 0 as a marker).
enum class Marker {
  reading,  // a reading like any other
  unknown,  // the source does not know: the last good value stays, with its age
  absent,   // there is none (no plan, no estimate): the value is withdrawn
};

// What an input tells about.
enum class Role {
  car,       // the car's data
  vehicle,   // the car's data naming the vehicle: another name is another car
  clock,     // the source's own time of its data (evcc's updated)
  since,     // when the car's present state began (TeslaMate's since)
  liveness,  // the source's heartbeat; the text "offline" says it is gone
};

// One value the feed listens for.
struct InputSpec {
  std::string name;   // what the rules call it ("battery", or a snapshot field for a map)
  std::string topic;  // the full MQTT topic ("-" in a map: no topic, only the default)
  InputKind kind = InputKind::number;
  double scale = 1;  // numbers and durations are multiplied by this (kW → W: 1000)
  // Smallest plausible value after scaling; from a negative minimum up to 0,
  // readings are meter noise and read as 0.
  double minimum = -std::numeric_limits<double>::infinity();
  double maximum = std::numeric_limits<double>::infinity();  // largest plausible value after scaling
  Rounding rounding = Rounding::none;                        // applied after scaling
  std::string jsonPointer;  // when set, the payload is JSON and the value is at this pointer
  std::vector<std::pair<std::string, std::string>> valueMap;  // payload → value text; "*" matches the rest
  std::optional<std::string> initial;  // a value (as payload text) assumed until the topic delivers one
  bool required = false;               // no snapshot is written until it is known
  Marker empty = Marker::unknown;      // what an empty payload (or JSON null) means
  Marker zero = Marker::reading;       // what a number or duration of 0 means
  Role role = Role::car;
};

struct FeedSource {
  Preset preset = Preset::teslamate;
  std::vector<InputSpec> inputs;
  double quietLimit = 0;  // seconds without a live message after which the source counts as gone (0: never)
};

// TeslaMate: <prefix>/cars/<car>/..., range from est_, rated_ or ideal_battery_range_km.
Result<FeedSource> teslamateSource(const std::string& prefix, const std::string& car,
                                   const std::string& range);
// evcc: <prefix>/loadpoints/<loadpoint>/..., and <prefix>/updated and /status.
Result<FeedSource> evccSource(const std::string& prefix, const std::string& loadpoint);
// One topic carrying whole snapshot documents.
Result<FeedSource> snapshotSource(const std::string& topic);
// A [map] group: "field = topic | option | ...", options scale=, round=, json=, map=, default=.
Result<FeedSource> mapSource(const std::vector<IniEntry>& entries);

// A topic the feed can subscribe to exactly: non-empty, valid UTF-8, no
// wildcards, no NUL.
bool isPlainTopic(std::string_view topic);

}  // namespace kelvo::feed
