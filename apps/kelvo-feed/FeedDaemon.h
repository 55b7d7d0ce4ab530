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
  double timeout = 10;   // seconds --once waits for the required values
  bool verbose = false;  // log every message received
  DistanceUnit unit = DistanceUnit::kilometers;
  bool unitExplicit = false;
};

// Runs until SIGTERM/SIGINT (0) or, with once, until one snapshot is written
// (0) or cannot be (1).
int runFeed(const FeedOptions& options, CarState state, const SharedStore& store);

// One line on stderr, prefixed with the program's name.
void logLine(const std::string& message);

}  // namespace kelvo::feed
