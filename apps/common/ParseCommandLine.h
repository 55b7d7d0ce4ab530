#pragma once

// How both programs parse their command line: --help prints help and exits
// 0; a usage error prints one line naming the program and exits 2.

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>

#include "ExitCodes.h"

namespace kelvo::apps {

// Adds --shared-dir DIR to `command`. An empty DIR is a usage error: it is
// what an unset variable in `--shared-dir "$DIR"` gives, and taking it as
// "not given" would send a clear or a save to the user's real store.
template <class Value>
CLI::Option* addSharedDirOption(CLI::App& command, Value& value) {
  return command
      .add_option("--shared-dir", value, "Use DIR as the shared directory (a missing DIR means no container)")
      ->option_text("DIR")
      ->check(CLI::Validator(
          [](std::string& dir) -> std::string {
            return dir.empty() ? "needs a directory, not an empty value" : std::string();
          },
          "DIR", "non-empty"));
}

// The exit status when the program should stop here, nothing when parsing
// succeeded and the chosen command should run.
inline std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string reason = e.what();
    // "kelvo bogus" is reported as a missing command; name the word instead.
    if (const auto extras = app.remaining(); !extras.empty() && app.get_subcommands().empty()) {
      const std::string& word = extras.front();
      reason = (word.starts_with('-') ? "unknown option \"" : "unknown command \"") + word + "\"";
    }
    for (char& c : reason) {
      if (c == '\n') c = ' ';
    }
    const std::string& name = app.get_name();
    std::cerr << name << ": " << reason << " (see " << name << " --help)\n";
    return kExitUsage;
  }
  return std::nullopt;
}

}  // namespace kelvo::apps
