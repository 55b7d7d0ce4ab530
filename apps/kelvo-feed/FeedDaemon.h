#pragma once

// The broker side of kelvo-feed: connects, subscribes, feeds messages into
// the car state and writes snapshots through the shared store.

#include <optional>
#include <string>

#include "CarState.h"
#include "FeedConfig.h"
#include "KelvoShared/SharedStore.h"

namespace kelvo::feed {

struct FeedOptions {
  BrokerAddress broker;
  std::optional<std::string> username;
  std::optional<std::string> password;
  std::optional<std::string> cafile;  // else the system's CA certificates
  bool insecure = false;
  std::string clientId;  // empty: the library picks one
  bool once = false;     // write one snapshot from the retained messages and exit
  double timeout = 10;   // seconds --once may take in all, connecting included
  bool verbose = false;  // log every message received
  DistanceUnit unit = DistanceUnit::kilometers;
  bool unitExplicit = false;
};

// The largest MQTT packet the feed takes, announced to MQTT 5 brokers so that
// they drop larger messages instead of sending them: a payload of
// CarState::kPayloadLimit with room for its topic and properties.
inline constexpr std::size_t kMaximumPacketSize = CarState::kPayloadLimit + (std::size_t{64} << 10);

// Runs until SIGTERM/SIGINT (0) or, with once, until one snapshot is written
// (0) or cannot be (1, also when stopped before). Nothing when SIGHUP asks
// for the settings to be read again; a pending write is made first. The
// state keeps what arrived for the next run.
std::optional<int> runFeed(const FeedOptions& options, CarState& state, const SharedStore& store);

// One line on stderr, prefixed with the program's name.
void logLine(const std::string& message);

}  // namespace kelvo::feed
