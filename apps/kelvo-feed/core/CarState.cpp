#include "CarState.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/LogText.h"
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
      if (value < 0) return Value(0.0);  // meter noise (a minimum below 0 admits it)
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
  explicit Values(const std::map<std::string, KnownValue>& values) : values_(values) {}

  template <class T>
  std::optional<T> get(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    if (const T* value = std::get_if<T>(&it->second.value)) return *value;
    return std::nullopt;
  }
  std::optional<std::int64_t> integer(const std::string& name) const {
    const auto value = get<double>(name);
    if (!value) return std::nullopt;
    return static_cast<std::int64_t>(*value);
  }
  std::string text(const std::string& name) const { return get<std::string>(name).value_or(""); }
  bool isTrue(const std::string& name) const { return get<bool>(name).value_or(false); }
  bool has(const std::string& name) const { return values_.contains(name); }

 private:
  const std::map<std::string, KnownValue>& values_;
};

// The battery has reached the lower of the known charge limits (the
// charger's "limit", the car's own "vehicleLimit"), less the tolerance.
bool reachedLimit(const Values& values) {
  const auto battery = values.get<double>("battery");
  std::optional<double> limit;
  for (const char* name : {"limit", "vehicleLimit"}) {
    if (const auto known = values.get<double>(name); known && *known > 0)
      limit = std::min(limit.value_or(100), *known);
  }
  return battery && limit && *battery >= *limit - CarState::kLimitTolerance;
}

// TeslaMate "Model" "3" reads "Model 3"; the trim badge follows.
std::optional<std::string> teslaModelName(const Values& values) {
  auto model = values.get<std::string>("model");
  if (!model || model->empty()) return std::nullopt;
  std::string name = model->size() == 1 ? "Model " + *model : *model;
  if (const auto trim = values.get<std::string>("trim"); trim && !trim->empty()) name += " " + *trim;
  return name;
}

// What both chargers' presets share: the time to full and the power count
// only while charging, and a charging car is plugged in.
void composeChargeDetails(const Values& values, WidgetSnapshot& snapshot, bool charging) {
  snapshot.isPluggedIn = charging ? std::optional<bool>(true) : values.get<bool>("plugged");
  if (charging) {
    snapshot.fullInMinutes = values.integer("fullIn");
    snapshot.chargingPowerWatts = values.integer("power");
  }
  snapshot.carTitle = values.get<std::string>("title");
  snapshot.odometerKm = values.integer("odometer");
}

// TeslaMate: its own state says driving and charging (the car's
// charging_state Starting or Charging too, while awake); a charge is done
// when the car says Complete or the battery is at its limit, and a schedule
// counts only while it is not.
void composeTeslaMate(const Values& values, WidgetSnapshot& snapshot) {
  const std::string state = values.text("state");
  const std::string chargingState = values.text("chargingState");
  const bool charging = state == "charging" ||
                        (state == "online" && (chargingState == "Starting" || chargingState == "Charging"));
  const bool plugged = values.isTrue("plugged");
  snapshot.isDriving = state == "driving";
  if (snapshot.isDriving) {
    snapshot.statusKey = "IDLE";
  } else if (charging) {
    snapshot.statusKey = "CHARGING";
  } else if (plugged && (chargingState == "Complete" || reachedLimit(values))) {
    snapshot.statusKey = "DONE";
  } else if (plugged && values.has("scheduledStart")) {
    snapshot.statusKey = "SCHEDULED";
  } else {
    snapshot.statusKey = "IDLE";
  }
  composeChargeDetails(values, snapshot, charging);
  snapshot.modelName = teslaModelName(values);
}

// evcc: the mode decides what cheap energy and plans mean: "off" never
// charges and "now" charges plainly; in "pv" and "minpv" a charge in a cheap
// or planned slot is smart, and waiting for one is scheduled. Done is the
// battery at the lower of the car's and the charger's limits.
void composeEvcc(const Values& values, WidgetSnapshot& snapshot) {
  const std::string mode = values.text("mode");
  const bool smartMode = mode == "pv" || mode == "minpv";
  const bool charging = values.isTrue("charging");
  const bool plugged = values.isTrue("plugged");
  const bool planActive = values.isTrue("planActive");
  snapshot.isDriving = false;  // a car at a loadpoint is not being driven
  if (charging) {
    snapshot.statusKey =
        smartMode && (planActive || values.isTrue("smartCostActive")) ? "SMART_CHARGING" : "CHARGING";
  } else if (plugged && reachedLimit(values)) {
    snapshot.statusKey = "DONE";
  } else if (plugged && smartMode &&
             ((values.has("planStart") && !planActive) || values.has("smartCostNextStart"))) {
    snapshot.statusKey = "SCHEDULED";
  } else {
    snapshot.statusKey = "IDLE";
  }
  composeChargeDetails(values, snapshot, charging);
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

const char* sourceName(Preset preset) {
  switch (preset) {
    case Preset::teslamate:
      return "TeslaMate";
    case Preset::evcc:
      return "evcc";
    case Preset::snapshot:
      return "the snapshot topic";
    case Preset::map:
      return "the mapped topics";
  }
  unreachable(__func__);
}

void raise(std::optional<Date>& at, std::optional<Date> candidate) {
  if (candidate && (!at || *candidate > *at)) at = candidate;
}

}  // namespace

CarState::CarState(FeedSource source) : source_(std::move(source)) {
  for (const InputSpec& spec : source_.inputs) {
    if (!spec.initial) continue;
    if (auto value = convert(spec, *spec.initial))
      values_.insert_or_assign(spec.name, KnownValue{std::move(value).value(), false, std::nullopt});
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

Result<CarState::Reading> CarState::read(const InputSpec& spec, std::string_view payload) const {
  std::string text(payload);
  if (!spec.jsonPointer.empty()) {
    auto extracted = extractJsonPointer(text, spec.jsonPointer);
    if (!extracted) return extracted.error();
    text = std::move(extracted).value();
  }
  // An empty payload (or JSON null) carries no reading.
  if (text.empty()) return Reading{spec.empty, {}};
  if (!spec.valueMap.empty()) {
    const auto match = [&](const std::string& key) {
      return std::find_if(spec.valueMap.begin(), spec.valueMap.end(),
                          [&](const auto& entry) { return entry.first == key; });
    };
    auto it = match(text);
    if (it == spec.valueMap.end()) it = match("*");
    if (it == spec.valueMap.end()) return Error{"\"" + logValue(text, 40) + "\" is not in the value map"};
    text = it->second;
  }
  auto value = convert(spec, text);
  if (!value) return value.error();
  // A 0 the source uses as a marker (after rounding: no "0 min" either).
  if (const double* number = std::get_if<double>(&*value);
      number && *number == 0 && spec.zero != Marker::reading) {
    return Reading{spec.zero, {}};
  }
  return Reading{Marker::reading, std::move(value).value()};
}

// Puts one reading into the known values; true when the value changed.
bool CarState::apply(const InputSpec& spec, const Reading& reading) {
  const auto it = values_.find(spec.name);
  switch (reading.marker) {
    case Marker::reading:
      if (it != values_.end() && sameValue(it->second.value, *reading.value)) {
        it->second.held = false;  // vouched for again
        it->second.heldAt.reset();
        return false;
      }
      if (spec.role == Role::vehicle && it != values_.end()) {
        // Another car: what the source marks as unknown with a 0 belonged to
        // the one before (evcc resets exactly those on a vehicle change).
        for (const InputSpec& other : source_.inputs) {
          if (other.zero == Marker::unknown) values_.erase(other.name);
        }
      }
      values_.insert_or_assign(spec.name, KnownValue{*reading.value, false, std::nullopt});
      return true;
    case Marker::unknown:
      // The last good value stays, as old as the car's data were when the
      // source last vouched for it.
      if (it != values_.end() && !it->second.held) {
        it->second.held = true;
        if (spec.role == Role::car || spec.role == Role::vehicle) it->second.heldAt = dataTime();
      }
      return false;
    case Marker::absent:
      if (it == values_.end()) return false;
      values_.erase(it);
      return true;
  }
  unreachable(__func__);
}

Accepted CarState::accept(std::string_view topic, std::string_view payload, Date now, Delivery delivery) {
  Accepted result;
  bool carChanged = false;
  bool clockChanged = false;
  for (const InputSpec& spec : source_.inputs) {
    if (spec.topic != topic) continue;
    if (result.outcome == Outcome::unknown) {
      result.outcome = Outcome::unchanged;
      if (delivery == Delivery::live) lastLive_ = now;
    }
    Result<Reading> reading = Error{""};
    if (payload.size() > kPayloadLimit) {
      reading = Error{std::to_string(payload.size()) + " bytes, more than the 1 MiB a value may take"};
    } else if (!isValidUtf8(payload)) {
      reading = Error{"not valid UTF-8"};
    } else {
      reading = read(spec, payload);
    }
    if (!reading) {
      result.outcome = Outcome::ignored;
      result.reason = reading.error().message;
      return result;
    }
    const bool changed = apply(spec, *reading);
    if (spec.role == Role::car || spec.role == Role::vehicle) carChanged = carChanged || changed;
    if (spec.role == Role::clock) clockChanged = clockChanged || changed;
  }
  if (carChanged) {
    carNews(now, delivery);
    result.outcome = Outcome::changed;
  } else if (clockChanged && clockNews()) {
    result.outcome = Outcome::changed;
  }
  return result;
}

// The value of the input with this role: the source's clock, or when the
// car's present state began.
std::optional<Date> CarState::timeOf(Role role) const {
  for (const InputSpec& spec : source_.inputs) {
    if (spec.role == role) return Values(values_).get<Date>(spec.name);
  }
  return std::nullopt;
}

// The car's data changed: they are as of the source's clock where it has
// one, else as of now if the news came live; retained news without a clock
// has no time of its own (see reportedAt).
void CarState::carNews(Date now, Delivery delivery) {
  if (const auto clock = timeOf(Role::clock)) {
    dataTime_ = newsClock_ = clock;
    retainedAt_.reset();
  } else if (delivery == Delivery::live) {
    dataTime_ = now;
    retainedAt_.reset();
  } else if (!retainedAt_) {
    retainedAt_ = now;
  }
}

// The source's clock moved on: its data are as of then. Moving on by
// kClockNews since the last news is news itself.
bool CarState::clockNews() {
  dataTime_ = timeOf(Role::clock);
  retainedAt_.reset();
  if (newsClock_ && dataTime_ && dataTime_->timeIntervalSince(*newsClock_) < kClockNews) return false;
  newsClock_ = dataTime_;
  return true;
}

// When the car's data were last known true, held values aside.
std::optional<Date> CarState::dataTime() const {
  if (!retainedAt_) return dataTime_;
  // Retained news without the source's time is no fresher than the latest
  // time known to be true: the start of the car's present state, the stored
  // snapshot's time (these data were not yet news then), what came live.
  std::optional<Date> at = dataTime_;
  raise(at, timeOf(Role::since));
  if (stored_) raise(at, stored_->carReportedAt.value_or(stored_->writtenAt));
  return at ? at : retainedAt_;  // nothing older is known: when it came
}

// The data are as old as the oldest value the source no longer vouches for.
std::optional<Date> CarState::reportedAt() const {
  std::optional<Date> at = dataTime();
  for (const auto& [name, known] : values_) {
    if (known.heldAt && at && *known.heldAt < *at) at = known.heldAt;
  }
  return at;
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
    if (!snapshot.carReportedAt) snapshot.carReportedAt = reportedAt();
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
    snapshot.carReportedAt = reportedAt();
    snapshot.unit = context.unit;
  }
  snapshot.writtenAt = context.now;
  snapshot.hasImage = context.hasImage;
  return snapshot;
}

std::optional<std::string> CarState::checkSource(Date now) {
  if (!lastLive_) lastLive_ = now;  // the quiet time counts from the start
  const InputSpec* offline = nullptr;
  for (const InputSpec& spec : source_.inputs) {
    if (spec.role == Role::liveness && Values(values_).text(spec.name) == "offline") offline = &spec;
  }
  const double quiet = now.timeIntervalSince(*lastLive_);
  const bool gone = offline != nullptr || (source_.quietLimit > 0 && quiet > source_.quietLimit);
  if (gone == reportedGone_) return std::nullopt;
  reportedGone_ = gone;
  const std::string name = sourceName(source_.preset);
  if (!gone) return name + " is sending again";
  const std::string keeps = "; the snapshot keeps the time of its last data";
  if (offline != nullptr) return name + " says it is offline (" + logValue(offline->topic) + ")" + keeps;
  return "nothing from " + name + " for " + std::to_string(static_cast<int>(quiet / 60)) + " min" + keeps;
}

}  // namespace kelvo::feed
