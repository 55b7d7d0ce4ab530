#pragma once

// kelvo-feed's options, one row each: the command line, feed.ini's [broker]
// and [feed] groups, --help, the manual pages and the completions.

#include <optional>
#include <string>

#include "FeedConfig.h"
#include "Options.h"

namespace kelvo::feed {

// What the rows set.
struct FeedCommandLine {
  FeedSettings settings;              // the config file's, then the command line's
  std::optional<std::string> config;  // --config FILE
  bool once = false;
  double timeout = 10;  // seconds, --once only
  bool verbose = false;
};

// The table, its rows setting the fields of `target` (which must outlive it).
apps::Program feedProgram(FeedCommandLine& target);

}  // namespace kelvo::feed
