#include "TopicMap.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>

#include "FeedValue.h"
#include "KelvoShared/Utf8Text.h"
#include "Trimmed.h"

namespace kelvo::feed {

namespace {

// One row of a preset: the topic under the prefix ({id}: the car or
// loadpoint, {range}: est, rated or ideal) and how its payload is read (see
// InputSpec; a minimum below 0 admits meter noise, read as 0).
struct PresetRow {
  const char* topic;
  const char* name;
  InputKind kind;
  double scale;
  double minimum;
  double maximum;
  Rounding rounding;
  bool required;
  Marker empty;  // what an empty payload means
  Marker zero;   // what a 0 means
  Role role;
};

using enum InputKind;
using enum Rounding;
using enum Marker;
using enum Role;

// TeslaMate publishes a value only when it changes, retained, as Elixir's
// to_string: integers, shortest floats ("318.43", "3.0e2"), "true"/"false",
// ISO 8601 times; "" for the few values it sends when unknown (no schedule,
// no estimate, no power). Units per its MQTT documentation: km, hours, kW.
// `healthy` is sent with every poll and not retained: the heartbeat. A
// suspended car is polled every 21 minutes, hence the quiet limit.
constexpr double kTeslaMateQuiet = 1800;
// clang-format off
constexpr std::array kTeslaMate = {
    //        topic                                       name               kind      scale  min max     round     need    empty     zero      role
    PresetRow{"cars/{id}/battery_level",                  "battery",         number,   1,     0,  100,    none,     true,   unknown,  reading,  car},
    PresetRow{"cars/{id}/{range}_battery_range_km",       "range",           number,   1,     0,  5000,   nearest,  true,   unknown,  reading,  car},
    PresetRow{"cars/{id}/state",                          "state",           text,     1,     0,  0,      none,     true,   unknown,  reading,  car},
    PresetRow{"cars/{id}/charging_state",                 "chargingState",   text,     1,     0,  0,      none,     false,  unknown,  reading,  car},
    PresetRow{"cars/{id}/plugged_in",                     "plugged",         boolean,  1,     0,  0,      none,     false,  unknown,  reading,  car},
    PresetRow{"cars/{id}/time_to_full_charge",            "fullIn",          number,   60,    0,  10080,  nearest,  false,  absent,   absent,   car},  // h → min
    PresetRow{"cars/{id}/charger_power",                  "power",           number,   1000,  0,  1e6,    nearest,  false,  absent,   reading,  car},  // kW → W
    PresetRow{"cars/{id}/display_name",                   "title",           text,     1,     0,  0,      none,     false,  unknown,  reading,  car},
    PresetRow{"cars/{id}/model",                          "model",           text,     1,     0,  0,      none,     false,  unknown,  reading,  car},
    PresetRow{"cars/{id}/trim_badging",                   "trim",            text,     1,     0,  0,      none,     false,  absent,   reading,  car},
    PresetRow{"cars/{id}/odometer",                       "odometer",        number,   1,     0,  1e7,    nearest,  false,  unknown,  reading,  car},
    PresetRow{"cars/{id}/charge_limit_soc",               "limit",           number,   1,     0,  100,    none,     false,  unknown,  reading,  car},
    PresetRow{"cars/{id}/scheduled_charging_start_time",  "scheduledStart",  instant,  1,     0,  0,      none,     false,  absent,   reading,  car},
    PresetRow{"cars/{id}/since",                          "since",           instant,  1,     0,  0,      none,     false,  unknown,  reading,  since},
    PresetRow{"cars/{id}/healthy",                        "healthy",         boolean,  1,     0,  0,      none,     false,  unknown,  reading,  liveness},
};
// clang-format on

// evcc republishes its loadpoint's state each control cycle (30 s by
// default; range, odometer and estimate when they change), retained,
// each message on its own so in no fixed order: numbers with up to
// three decimals ("55.5", "-3.2"), "true"/"false", times and durations as
// whole Unix seconds and seconds, "" for no time. It sends 0 for the
// vehicle's state of charge, range, limit and odometer when it does not know
// them (at start, on a vehicle change, until the car is polled), and empties
// every topic when it stops; `updated` is its clock, `status` its will.
constexpr double kEvccQuiet = 900;
// clang-format off
constexpr std::array kEvcc = {
    //        topic                                       name                   kind       scale    min    max     round     need    empty     zero      role
    PresetRow{"loadpoints/{id}/vehicleSoc",               "battery",             number,    1,       0,     100,    none,     true,   unknown,  unknown,  car},
    PresetRow{"loadpoints/{id}/vehicleRange",             "range",               number,    1,       0,     5000,   nearest,  true,   unknown,  unknown,  car},
    PresetRow{"loadpoints/{id}/charging",                 "charging",            boolean,   1,       0,     0,      none,     true,   unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/connected",                "plugged",             boolean,   1,       0,     0,      none,     false,  unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/mode",                     "mode",                text,      1,       0,     0,      none,     false,  unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/chargePower",              "power",               number,    1,       -100,  1e6,    nearest,  false,  unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/chargeRemainingDuration",  "fullIn",              duration,  1.0/60,  0,     10080,  nearest,  false,  unknown,  absent,   car},  // s → min
    PresetRow{"loadpoints/{id}/vehicleTitle",             "title",               text,      1,       0,     0,      none,     false,  unknown,  reading,  vehicle},
    PresetRow{"loadpoints/{id}/vehicleOdometer",          "odometer",            number,    1,       0,     1e7,    nearest,  false,  unknown,  unknown,  car},
    PresetRow{"loadpoints/{id}/vehicleLimitSoc",          "vehicleLimit",        number,    1,       0,     100,    none,     false,  unknown,  unknown,  car},
    PresetRow{"loadpoints/{id}/effectiveLimitSoc",        "limit",               number,    1,       0,     100,    none,     false,  unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/planActive",               "planActive",          boolean,   1,       0,     0,      none,     false,  unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/planProjectedStart",       "planStart",           instant,   1,       0,     0,      none,     false,  absent,   reading,  car},
    PresetRow{"loadpoints/{id}/smartCostActive",          "smartCostActive",     boolean,   1,       0,     0,      none,     false,  unknown,  reading,  car},
    PresetRow{"loadpoints/{id}/smartCostNextStart",       "smartCostNextStart",  instant,   1,       0,     0,      none,     false,  absent,   reading,  car},
    PresetRow{"updated",                                  "updated",             instant,   1,       0,     0,      none,     false,  unknown,  reading,  clock},
    PresetRow{"status",                                   "status",              text,      1,       0,     0,      none,     false,  unknown,  reading,  liveness},
};
// clang-format on

// The snapshot fields a [map] may set, how each is read and its plausible range.
struct MapField {
  const char* field;
  InputKind kind;
  double minimum;
  double maximum;
  Rounding rounding;
  bool required;
};

constexpr std::array kMapFields = {
    MapField{"batteryPercentage", number, 0, 100, none, true},
    MapField{"rangeKm", number, 0, 5000, nearest, true},
    MapField{"statusKey", text, 0, 0, none, true},
    MapField{"isDriving", boolean, 0, 0, none, true},
    MapField{"isPluggedIn", boolean, 0, 0, none, false},
    MapField{"fullInMinutes", number, 0, 10080, nearest, false},
    MapField{"chargingPowerWatts", number, 0, 1e6, nearest, false},
    MapField{"carTitle", text, 0, 0, none, false},
    MapField{"modelName", text, 0, 0, none, false},
    MapField{"registrationNo", text, 0, 0, none, false},
    MapField{"odometerKm", number, 0, 1e7, nearest, false},
    MapField{"carReportedAt", instant, 0, 0, none, false},
};

// The row's topic under `prefix`, with {id} and {range} filled in.
std::string expand(const PresetRow& row, const std::string& prefix, const std::string& id,
                   const std::string& range) {
  std::string topic = prefix + "/" + row.topic;
  for (const auto& [field, value] : {std::pair<std::string, std::string>{"{id}", id}, {"{range}", range}}) {
    if (const auto at = topic.find(field); at != std::string::npos) topic.replace(at, field.size(), value);
  }
  return topic;
}

InputSpec fromRow(const PresetRow& row, const std::string& topic) {
  InputSpec spec;
  spec.name = row.name;
  spec.topic = topic;
  spec.kind = row.kind;
  spec.scale = row.scale;
  if (row.kind == number || row.kind == duration) {
    spec.minimum = row.minimum;
    spec.maximum = row.maximum;
  }
  spec.rounding = row.rounding;
  spec.required = row.required;
  spec.empty = row.empty;
  spec.zero = row.zero;
  spec.role = row.role;
  return spec;
}

Status checkLevel(const std::string& what, const std::string& value) {
  if (value.empty() || !isPlainTopic(value) || value.find('/') != std::string::npos) {
    return Error{what + " must be one topic level without \"/\", \"+\" or \"#\""};
  }
  return {};
}

Status checkPrefix(const std::string& prefix) {
  if (!isPlainTopic(prefix) || prefix.ends_with('/')) {
    return Error{"the prefix must be a topic without \"+\", \"#\" or a trailing \"/\""};
  }
  return {};
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const auto at = text.find(separator, start);
    parts.push_back(trimmed(text.substr(start, at == std::string_view::npos ? at : at - start)));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

// Applies one "name=value" option of a [map] line to `spec`.
Status applyMapOption(std::string_view option, InputSpec& spec) {
  const auto equals = option.find('=');
  if (equals == std::string_view::npos) return Error{"option \"" + std::string(option) + "\" has no \"=\""};
  const std::string name(trimmed(option.substr(0, equals)));
  const std::string value(trimmed(option.substr(equals + 1)));
  if (name == "scale") {
    const auto scale = parseNumber(value);
    if (!scale || *scale == 0) return Error{"scale must be a non-zero number"};
    if (spec.kind != number) return Error{"scale applies only to number fields"};
    spec.scale = *scale;
  } else if (name == "round") {
    if (spec.kind != number) return Error{"round applies only to number fields"};
    if (value == "nearest") {
      spec.rounding = nearest;
    } else if (value == "down") {
      spec.rounding = down;
    } else if (value == "up") {
      spec.rounding = up;
    } else {
      return Error{"round must be nearest, down or up"};
    }
  } else if (name == "json") {
    if (value.empty() || value.front() != '/') return Error{"json must be a JSON pointer such as /soc"};
    try {
      (void)nlohmann::json::json_pointer(value);
    } catch (const nlohmann::json::exception&) {
      return Error{"json: \"" + value + "\" is not a valid JSON pointer"};
    }
    spec.jsonPointer = value;
  } else if (name == "map") {
    for (const std::string_view pair : split(value, ',')) {
      const auto colon = pair.rfind(':');
      if (colon == std::string_view::npos || colon == 0) {
        return Error{"map entries read payload:value, found \"" + std::string(pair) + "\""};
      }
      spec.valueMap.emplace_back(trimmed(pair.substr(0, colon)), trimmed(pair.substr(colon + 1)));
    }
  } else if (name == "default") {
    spec.initial = value;
  } else {
    return Error{"unknown option \"" + name + "\" (scale, round, json, map, default)"};
  }
  return {};
}

}  // namespace

bool isPlainTopic(std::string_view topic) {
  return !topic.empty() && topic.size() <= 65535 && isValidUtf8(topic) &&
         topic.find_first_of(std::string_view("+#\0", 3)) == std::string_view::npos;
}

Result<FeedSource> teslamateSource(const std::string& prefix, const std::string& car,
                                   const std::string& range) {
  if (auto ok = checkPrefix(prefix); !ok) return ok.error();
  if (auto ok = checkLevel("the car id", car); !ok) return ok.error();
  if (range != "est" && range != "rated" && range != "ideal")
    return Error{"range must be est, rated or ideal"};
  FeedSource source{Preset::teslamate, {}, kTeslaMateQuiet};
  for (const PresetRow& row : kTeslaMate)
    source.inputs.push_back(fromRow(row, expand(row, prefix, car, range)));
  return source;
}

Result<FeedSource> evccSource(const std::string& prefix, const std::string& loadpoint) {
  if (auto ok = checkPrefix(prefix); !ok) return ok.error();
  if (auto ok = checkLevel("the loadpoint id", loadpoint); !ok) return ok.error();
  FeedSource source{Preset::evcc, {}, kEvccQuiet};
  for (const PresetRow& row : kEvcc)
    source.inputs.push_back(fromRow(row, expand(row, prefix, loadpoint, "")));
  return source;
}

Result<FeedSource> snapshotSource(const std::string& topic) {
  if (!isPlainTopic(topic))
    return Error{"the snapshot preset needs a topic without \"+\" or \"#\" (--topic)"};
  InputSpec spec;
  spec.name = "snapshot";
  spec.topic = topic;
  spec.kind = document;
  spec.required = true;
  return FeedSource{Preset::snapshot, {spec}};
}

Result<FeedSource> mapSource(const std::vector<IniEntry>& entries) {
  FeedSource source{Preset::map, {}};
  for (const IniEntry& entry : entries) {
    const auto fail = [&](const std::string& what) {
      return Error{std::to_string(entry.line) + ": " + entry.key + ": " + what};
    };
    const MapField* field = nullptr;
    for (const MapField& candidate : kMapFields) {
      if (entry.key == candidate.field) field = &candidate;
    }
    if (field == nullptr) return fail("not a snapshot field that a map can set");
    const auto parts = split(entry.value, '|');
    InputSpec spec;
    spec.name = field->field;
    spec.topic = std::string(parts.front());
    spec.kind = field->kind;
    if (field->kind == number) {
      spec.minimum = field->minimum;
      spec.maximum = field->maximum;
    }
    spec.rounding = field->rounding;
    spec.required = field->required;
    // A required value the topic leaves empty is unknown for now; an
    // optional one is withdrawn.
    spec.empty = field->required ? Marker::unknown : Marker::absent;
    if (spec.name == "carReportedAt") spec.role = Role::clock;
    if (spec.topic != "-" && !isPlainTopic(spec.topic)) return fail("needs a topic without \"+\" or \"#\"");
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (auto ok = applyMapOption(parts[i], spec); !ok) return fail(ok.error().message);
    }
    if (spec.topic == "-" && !spec.initial) return fail("\"-\" (no topic) needs a default=");
    if (spec.initial) {
      const std::string& initial = *spec.initial;
      const bool readable =
          (spec.kind == number && parseNumber(initial)) || (spec.kind == boolean && parseBoolean(initial)) ||
          (spec.kind == instant && parseInstant(initial)) || (spec.kind == text && !initial.empty());
      if (!readable) return fail("default=" + initial + " is not a value of this field");
    }
    source.inputs.push_back(std::move(spec));
  }
  for (const MapField& field : kMapFields) {
    if (!field.required) continue;
    bool present = false;
    for (const InputSpec& spec : source.inputs) present = present || spec.name == field.field;
    if (!present) {
      return Error{std::string("[map] must set ") + field.field +
                   " (batteryPercentage, rangeKm, statusKey and isDriving are required)"};
    }
  }
  return source;
}

std::optional<Preset> parsePreset(std::string_view name) {
  for (const PresetInfo& row : kPresets) {
    if (row.name == name) return row.preset;
  }
  return std::nullopt;
}

std::vector<std::string> presetNames() {
  std::vector<std::string> names;
  for (const PresetInfo& row : kPresets) names.emplace_back(row.name);
  return names;
}

}  // namespace kelvo::feed
