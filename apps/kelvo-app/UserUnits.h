#pragma once

// Enables and (re)starts Kelvo's systemd user units through the user
// manager's D-Bus API (org.freedesktop.systemd1 on the session bus).

#include <gio/gio.h>

#include <string>
#include <vector>

namespace kelvo::app {

struct UnitsOutcome {
  bool done = false;       // every unit enabled and running
  bool noManager = false;  // no user manager answers: the caller says what to run
  std::string detail;      // what failed, for the log
};

// EnableUnitFiles, Reload, then RestartUnit for each (a running feed reads
// the new settings); each call waits at most a few seconds.
UnitsOutcome enableAndRestart(const std::vector<std::string>& units);

// Whether the unit is active, "" when there is no user manager or no such unit.
std::string unitState(const std::string& unit);

}  // namespace kelvo::app
