#include "CarState.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/Utf8Text.h"

namespace kelvo::feed {

namespace {

// Longer texts are not names of anything a widget shows.
constexpr std::size_t kTextLimit = 4096;

std::string formatLimit(double value) {
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.ends_with('.')) text.pop_back();
  return text;
}

double rounded(double value, Rounding rounding) {
  switch (rounding) {
    case Rounding::none:
      return value;
    case Rounding::nearest:
      return std::round(value);  // half away from zero
    case Rounding::down:
      return std::floor(value);
    case Rounding::up:
      return std::ceil(value);
  }
  unreachable(__func__);
}

// A payload (after the JSON pointer and value map) as the input's kind.
Result<Value> convert(const InputSpec& spec, std::string_view text) {
  switch (spec.kind) {
    case InputKind::number:
    case InputKind::duration: {
      const auto parsed = spec.kind == InputKind::number ? parseNumber(text) : parseDuration(text);
      if (!parsed) return parsed.error();
      const double value = *parsed * spec.scale;
      if (!std::isfinite(value) || value < spec.minimum || value > spec.maximum) {
        return Error{formatLimit(value) + " is outside " + formatLimit(spec.minimum) + "…" +
                     formatLimit(spec.maximum)};
      }
      return Value(rounded(value, spec.rounding));
    }
    case InputKind::boolean: {
      const auto parsed = parseBoolean(text);
      if (!parsed) return parsed.error();
      return Value(*parsed);
    }
    case InputKind::text:
      if (text.size() > kTextLimit) return Error{"a text of more than 4096 bytes"};
      if (spec.name == "statusKey" && text.find_first_not_of(" \t") == std::string_view::npos) {
        return Error{"an empty status"};
      }
      return Value(std::string(text));
    case InputKind::instant: {
      const auto parsed = parseInstant(text);
      if (!parsed) return parsed.error();
      return Value(*parsed);
    }
    case InputKind::document: {
      auto snapshot = decodeSnapshotPayload(text);
      if (!snapshot) return Error{"not a snapshot the widget would read: " + snapshot.error().message};
      return Value(std::move(snapshot).value());
    }
  }
  unreachable(__func__);
}

bool sameValue(const Value& a, const Value& b) {
  if (a.index() != b.index()) return false;
  if (const auto* snapshot = std::get_if<WidgetSnapshot>(&a)) return *snapshot == std::get<WidgetSnapshot>(b);
  return a == b;
}

// Reads the values the rules need by input name.
class Values {
 public:
  explicit Values(const std::map<std::string, Value>& values) : values_(values) {}

  template <class T>
  std::optional<T> get(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    if (const T* value = std::get_if<T>(&it->second)) return *value;
    return std::nullopt;
  }
  std::optional<std::int64_t> integer(const std::string& name) const {
    const auto value = get<double>(name);
    if (!value) return std::nullopt;
    return static_cast<std::int64_t>(*value);
  }
  bool isTrue(const std::string& name) const { return get<bool>(name).value_or(false); }
  bool has(const std::string& name) const { return values_.contains(name); }

 private:
  const std::map<std::string, Value>& values_;
};

// The charge level has reached the charge limit, when both are known.
bool reachedLimit(const Values& values) {
  const auto battery = values.get<double>("battery");
  const auto limit = values.get<double>("limit");
  return battery && limit && *battery >= *limit;
}

// TeslaMate "Model" "3" reads "Model 3"; the trim badge follows.
std::optional<std::string> teslaModelName(const Values& values) {
  auto model = values.get<std::string>("model");
  if (!model || model->empty()) return std::nullopt;
  std::string name = model->size() == 1 ? "Model " + *model : *model;
  if (const auto trim = values.get<std::string>("trim"); trim && !trim->empty()) name += " " + *trim;
  return name;
}

// What both chargers' presets share: charging decides first (as `chargingKey`),
// then a plugged-in car at its limit is done, one with a planned start (the
// value `plannedStart`) is scheduled, anything else idle; the time to full and
// the power count only while charging.
void composeChargeState(const Values& values, WidgetSnapshot& snapshot, bool charging,
                        const char* chargingKey, const std::string& plannedStart) {
  const bool plugged = values.isTrue("plugged");
  if (charging) {
    snapshot.statusKey = chargingKey;
  } else if (plugged && reachedLimit(values)) {
    snapshot.statusKey = "DONE";
  } else if (plugged && values.has(plannedStart)) {
    snapshot.statusKey = "SCHEDULED";
  } else {
    snapshot.statusKey = "IDLE";
  }
  snapshot.isPluggedIn = charging ? std::optional<bool>(true) : values.get<bool>("plugged");
  if (charging) {
    snapshot.fullInMinutes = values.integer("fullIn");
    snapshot.chargingPowerWatts = values.integer("power");
  }
  snapshot.carTitle = values.get<std::string>("title");
  snapshot.odometerKm = values.integer("odometer");
}

void composeTeslaMate(const Values& values, WidgetSnapshot& snapshot) {
  const std::string state = values.get<std::string>("state").value_or("");
  snapshot.isDriving = state == "driving";
  composeChargeState(values, snapshot, state == "charging", "CHARGING", "scheduledStart");
  snapshot.modelName = teslaModelName(values);
}

void composeEvcc(const Values& values, WidgetSnapshot& snapshot) {
  const bool smart = values.isTrue("planActive") || values.isTrue("smartCostActive");
  snapshot.isDriving = false;  // a car at a loadpoint is not being driven
  composeChargeState(values, snapshot, values.isTrue("charging"), smart ? "SMART_CHARGING" : "CHARGING",
                     "planStart");
}

void composeMap(const Values& values, WidgetSnapshot& snapshot) {
  snapshot.statusKey = values.get<std::string>("statusKey").value_or("");
  snapshot.isDriving = values.isTrue("isDriving");
  snapshot.isPluggedIn = values.get<bool>("isPluggedIn");
  snapshot.fullInMinutes = values.integer("fullInMinutes");
  snapshot.chargingPowerWatts = values.integer("chargingPowerWatts");
  snapshot.carTitle = values.get<std::string>("carTitle");
  snapshot.modelName = values.get<std::string>("modelName");
  snapshot.registrationNo = values.get<std::string>("registrationNo");
  snapshot.odometerKm = values.integer("odometerKm");
}

}  // namespace

CarState::CarState(FeedSource source) : source_(std::move(source)) {
  for (const InputSpec& spec : source_.inputs) {
    if (!spec.initial) continue;
    if (auto value = convert(spec, *spec.initial))
      values_.insert_or_assign(spec.name, std::move(value).value());
  }
}

std::vector<std::string> CarState::topics() const {
  std::vector<std::string> topics;
  for (const InputSpec& spec : source_.inputs) {
    if (spec.topic != "-" && std::find(topics.begin(), topics.end(), spec.topic) == topics.end()) {
      topics.push_back(spec.topic);
    }
  }
  return topics;
}

Result<std::optional<Value>> CarState::read(const InputSpec& spec, std::string_view payload) const {
  std::string text(payload);
  if (!spec.jsonPointer.empty()) {
    auto extracted = extractJsonPointer(text, spec.jsonPointer);
    if (!extracted) return extracted.error();
    text = std::move(extracted).value();
  }
  // An empty payload (or JSON null) withdraws the value.
  if (text.empty()) return std::optional<Value>();
  if (!spec.valueMap.empty()) {
    const auto match = [&](const std::string& key) {
      return std::find_if(spec.valueMap.begin(), spec.valueMap.end(),
                          [&](const auto& entry) { return entry.first == key; });
    };
    auto it = match(text);
    if (it == spec.valueMap.end()) it = match("*");
    if (it == spec.valueMap.end()) return Error{"\"" + escapeForLog(text, 40) + "\" is not in the value map"};
    text = it->second;
  }
  auto value = convert(spec, text);
  if (!value) return value.error();
  return std::optional<Value>(std::move(value).value());
}

Accepted CarState::accept(std::string_view topic, std::string_view payload, Date now) {
  Accepted result;
  for (const InputSpec& spec : source_.inputs) {
    if (spec.topic != topic) continue;
    if (result.outcome == Outcome::unknown) result.outcome = Outcome::unchanged;
    std::optional<Value> value;
    if (payload.size() > kPayloadLimit) {
      result.reason = std::to_string(payload.size()) + " bytes, more than the 1 MiB a value may take";
    } else if (!isValidUtf8(payload)) {
      result.reason = "not valid UTF-8";
    } else {
      auto read = this->read(spec, payload);
      if (read) {
        value = std::move(read).value();
      } else {
        result.reason = read.error().message;
      }
    }
    if (!result.reason.empty()) {
      result.outcome = Outcome::ignored;
      return result;
    }
    const auto it = values_.find(spec.name);
    if (!value) {
      if (it != values_.end()) {
        values_.erase(it);
        result.outcome = Outcome::changed;
      }
    } else if (it == values_.end() || !sameValue(it->second, *value)) {
      values_.insert_or_assign(spec.name, std::move(*value));
      result.outcome = Outcome::changed;
    }
  }
  if (result.outcome == Outcome::changed) changedAt_ = now;
  return result;
}

std::vector<std::string> CarState::missing() const {
  std::vector<std::string> topics;
  for (const InputSpec& spec : source_.inputs) {
    if (spec.required && !values_.contains(spec.name)) topics.push_back(spec.topic);
  }
  return topics;
}

std::optional<WidgetSnapshot> CarState::compose(const ComposeContext& context) const {
  if (!missing().empty()) return std::nullopt;
  const Values values(values_);
  WidgetSnapshot snapshot;
  if (source_.preset == Preset::snapshot) {
    snapshot = *values.get<WidgetSnapshot>("snapshot");
    if (!snapshot.carReportedAt) snapshot.carReportedAt = changedAt_;
    if (context.unitExplicit) snapshot.unit = context.unit;
  } else {
    const bool map = source_.preset == Preset::map;
    snapshot.batteryPercentage = *values.get<double>(map ? "batteryPercentage" : "battery");
    snapshot.rangeKm = *values.integer(map ? "rangeKm" : "range");
    switch (source_.preset) {
      case Preset::teslamate:
        composeTeslaMate(values, snapshot);
        break;
      case Preset::evcc:
        composeEvcc(values, snapshot);
        break;
      case Preset::map:
      case Preset::snapshot:
        composeMap(values, snapshot);
        break;
    }
    snapshot.carReportedAt =
        map && values.has("carReportedAt") ? values.get<Date>("carReportedAt") : changedAt_;
    snapshot.unit = context.unit;
  }
  snapshot.writtenAt = context.now;
  snapshot.hasImage = context.hasImage;
  return snapshot;
}

}  // namespace kelvo::feed
