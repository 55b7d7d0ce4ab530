#pragma once

// Logs in to a broker, as the feed would, and lists the cars it holds
// (CarDirectory): the test behind the window's Connect button.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "CarDiscovery.h"
#include "MqttClient.h"

namespace kelvo::feed {

// Which setting a failed attempt points at.
enum class DiscoveryFault {
  broker,       // not reached, or it hung up: the address
  login,        // the user name or password was refused
  certificate,  // the TLS handshake failed: the certificate or the CA
  setup,        // the client could not be set up (a CA file that is not there)
};

struct DiscoveryFailure {
  DiscoveryFault fault;
  std::string detail;  // the library's or broker's reason, for the log and the curious
};

using Discovery = std::variant<std::vector<FoundCar>, DiscoveryFailure>;

// Connects (MQTT 3.1.1, which every broker speaks), subscribes to the
// cars' topics and gathers the retained messages until none has come for
// `settle` seconds; gives up after `timeout` seconds in all. Blocks: callers
// with a window run it on a worker thread. Never touches signals.
Discovery discoverCars(const ClientOptions& options, std::string_view extraPrefix, double timeout = 8,
                       double settle = 0.6);

}  // namespace kelvo::feed
