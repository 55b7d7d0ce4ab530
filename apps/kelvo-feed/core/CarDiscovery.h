#pragma once

// Which cars a broker holds: the retained names and batteries that TeslaMate
// (<prefix>/cars/<id>/display_name, battery_level) and evcc
// (<prefix>/loadpoints/<id>/vehicleTitle, vehicleSoc) publish, gathered into
// one list to pick from. Broker-free: the messages come from the caller.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::feed {

struct FoundCar {
  std::string preset;             // "teslamate" or "evcc"
  std::string prefix;             // the root topic it was found under
  std::string car;                // TeslaMate car id or evcc loadpoint id
  std::string name;               // its display name; empty when only the battery came
  std::optional<double> battery;  // percent, when published

  friend bool operator==(const FoundCar&, const FoundCar&) = default;
};

class CarDirectory {
 public:
  // The usual roots ("teslamate", "evcc") and `extra` (a prefix the user
  // typed, tried for both sources) when it is one plain topic level path.
  explicit CarDirectory(std::string_view extra = {});

  // The subscriptions that find the cars.
  std::vector<std::string> topics() const;
  // Takes one message; anything that is not a car's name or battery is left.
  void note(std::string_view topic, std::string_view payload);
  // The cars found, in the order of their source, prefix and id.
  std::vector<FoundCar> cars() const;

 private:
  struct Root {
    std::string preset, prefix;
  };
  std::vector<Root> roots_;
  std::vector<FoundCar> cars_;
};

}  // namespace kelvo::feed
