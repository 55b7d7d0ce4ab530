// Feeds arbitrary MQTT messages to kelvo-feed's payload path: every preset's
// inputs (TeslaMate, evcc, whole snapshots, and a topic map with json=,
// scale=, round=, map= and default= options) through CarState::accept, what
// they compose through the snapshot encoder, and the value readers on their
// own. An input is messages separated by 0xFF (never part of valid UTF-8);
// a message's first byte picks its topic, the rest is its payload. Any
// crash, sanitizer report or broken invariant below is a finding.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "CarState.h"
#include "FeedConfig.h"
#include "FeedValue.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoShared/Utf8Text.h"

namespace {

using namespace kelvo::feed;

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr const char* kMap =
    "[feed]\npreset = map\n[map]\n"
    "batteryPercentage = car/soc | scale=100 | round=down\n"
    "rangeKm = car/json | json=/range/km | round=nearest\n"
    "statusKey = car/state | map=charging:CHARGING,complete:DONE,*:IDLE\n"
    "isDriving = car/json | json=/moving\n"
    "isPluggedIn = car/plug | default=false\n"
    "fullInMinutes = car/json | json=/charge/eta | round=up\n"
    "chargingPowerWatts = car/kw | scale=1000\n"
    "carTitle = car/json | json=/name\n"
    "odometerKm = car/odo | json=/0\n"
    "carReportedAt = car/json | json=/at\n"
    "modelName = - | default=Model\n";

// The four kinds of source, built once.
const std::vector<FeedSource>& sources() {
  static const std::vector<FeedSource> all = [] {
    std::vector<FeedSource> out;
    FeedSettings settings;
    for (const Preset preset : {Preset::teslamate, Preset::evcc, Preset::snapshot}) {
      settings.preset = preset;
      settings.topic = "kelvo/snapshot";
      out.push_back(*buildSource(settings));
    }
    FeedSettings map;
    check(applyConfigText(kMap, "fuzz.ini", map).ok());
    out.push_back(*buildSource(map));
    return out;
  }();
  return all;
}

// Every topic of every source, in order.
const std::vector<std::string>& topics() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> out;
    for (const FeedSource& source : sources()) {
      for (const std::string& topic : CarState(source).topics()) out.push_back(topic);
    }
    return out;
  }();
  return all;
}

// What any payload must give when read on its own.
void checkReaders(std::string_view payload) {
  if (const auto number = parseNumber(payload))
    check(std::isfinite(*number) && !(*number == 0 && std::signbit(*number)));
  if (const auto seconds = parseDuration(payload)) check(std::isfinite(*seconds));
  if (const auto instant = parseInstant(payload)) check(kelvo::isInternetDateTimeRepresentable(*instant));
  [[maybe_unused]] const auto truth = parseBoolean(payload);
  for (const char* pointer : {"/a", "/0", "/range/km"}) {
    const auto value = extractJsonPointer(payload, pointer);
    check(kelvo::isValidUtf8(value ? *value : value.error().message));
  }
  const std::string logged = kelvo::logValue(payload, 40);
  check(kelvo::isValidUtf8(logged) && logged.size() <= 40 + std::string_view("…").size());
  for (const char c : logged) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

// What a composed snapshot must be: one the store can write and read back.
void checkComposed(const CarState& state) {
  kelvo::feed::ComposeContext context;
  context.now = kelvo::Date{1796540400};
  const auto snapshot = state.compose(context);
  if (!snapshot) return;
  check(!(snapshot->batteryPercentage == 0 && std::signbit(snapshot->batteryPercentage)));
  const auto encoded = kelvo::encodeSnapshot(*snapshot);
  check(encoded.ok() && encoded->size() <= kelvo::SharedStore::kSnapshotSizeLimit);
  check(kelvo::decodeSnapshot(*encoded).ok());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<CarState> states(sources().begin(), sources().end());
  std::size_t start = 0;
  while (start < input.size()) {
    const std::size_t end = std::min(input.find('\xff', start), input.size());
    const std::string_view message = input.substr(start, end - start);
    start = end + 1;
    if (message.empty()) continue;
    const std::string& topic = topics()[static_cast<std::uint8_t>(message[0]) % topics().size()];
    const std::string_view payload = message.substr(1);
    checkReaders(payload);
    for (CarState& state : states) {
      const Accepted accepted = state.accept(topic, payload, kelvo::Date{1796540400});
      check(kelvo::isValidUtf8(accepted.reason));
      check((accepted.outcome == Outcome::ignored) == !accepted.reason.empty());
      checkComposed(state);
    }
  }
  return 0;
}
