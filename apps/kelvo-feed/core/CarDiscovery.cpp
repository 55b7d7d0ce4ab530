#include "CarDiscovery.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <tuple>

#include "KelvoShared/Utf8Text.h"
#include "Trimmed.h"

namespace kelvo::feed {

namespace {

// What each source publishes per car, under <prefix>/<level>/<id>/.
struct SourceTopics {
  const char* preset;
  const char* level;
  const char* name;
  const char* battery;
};
constexpr SourceTopics kSources[] = {
    {"teslamate", "cars", "display_name", "battery_level"},
    {"evcc", "loadpoints", "vehicleTitle", "vehicleSoc"},
};

// Car ids are numbers in both sources; anything else is not a car.
bool isCarId(std::string_view id) {
  return !id.empty() && id.size() <= 9 &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<double> percent(std::string_view payload) {
  payload = trimmed(payload, " \t\r\n\"");
  double value = 0;
  const auto [end, error] = std::from_chars(payload.data(), payload.data() + payload.size(), value);
  if (error != std::errc() || end != payload.data() + payload.size() || !std::isfinite(value)) return {};
  if (value < 0 || value > 100) return {};
  return value;
}

bool plainPrefix(std::string_view prefix) {
  return !prefix.empty() && prefix.size() <= 200 && prefix.find_first_of("+#") == std::string_view::npos &&
         !prefix.starts_with('/') && !prefix.ends_with('/') && isValidUtf8(prefix);
}

}  // namespace

CarDirectory::CarDirectory(std::string_view extra) {
  for (const SourceTopics& source : kSources) roots_.push_back({source.preset, source.preset});
  extra = trimmed(extra);
  if (plainPrefix(extra)) {
    for (const SourceTopics& source : kSources)
      if (extra != source.preset) roots_.push_back({source.preset, std::string(extra)});
  }
}

std::vector<std::string> CarDirectory::topics() const {
  std::vector<std::string> topics;
  for (const Root& root : roots_) {
    for (const SourceTopics& source : kSources) {
      if (root.preset != source.preset) continue;
      topics.push_back(root.prefix + "/" + source.level + "/+/" + source.name);
      topics.push_back(root.prefix + "/" + source.level + "/+/" + source.battery);
    }
  }
  return topics;
}

void CarDirectory::note(std::string_view topic, std::string_view payload) {
  for (const Root& root : roots_) {
    for (const SourceTopics& source : kSources) {
      if (root.preset != source.preset) continue;
      const std::string start = root.prefix + "/" + source.level + "/";
      if (!topic.starts_with(start)) continue;
      const std::string_view rest = topic.substr(start.size());
      const auto slash = rest.find('/');
      if (slash == std::string_view::npos) continue;
      const std::string_view id = rest.substr(0, slash), field = rest.substr(slash + 1);
      const bool isName = field == source.name, isBattery = field == source.battery;
      if (!isCarId(id) || (!isName && !isBattery)) continue;
      auto car = std::find_if(cars_.begin(), cars_.end(), [&](const FoundCar& c) {
        return c.preset == root.preset && c.prefix == root.prefix && c.car == id;
      });
      if (car == cars_.end())
        car = cars_.insert(cars_.end(), {root.preset, root.prefix, std::string(id), {}, {}});
      if (isName && isValidUtf8(payload))
        car->name = std::string(trimmed(payload.substr(0, 200), " \t\r\n\""));
      if (isBattery) car->battery = percent(payload);
    }
  }
}

std::vector<FoundCar> CarDirectory::cars() const {
  std::vector<FoundCar> cars = cars_;
  const auto order = [](const FoundCar& car) {
    return std::tuple(car.preset != "teslamate", car.prefix, car.car.size(), car.car);
  };
  std::sort(cars.begin(), cars.end(),
            [&](const FoundCar& a, const FoundCar& b) { return order(a) < order(b); });
  return cars;
}

}  // namespace kelvo::feed
