#pragma once

// How kelvo-widget's commands are put together: each command lives in its
// own file and registers itself on the program's CLI::App through one of the
// add...Command functions below; main() calls them in turn. A command stores
// what it will do in `action` when the user picks it; main runs it after
// parsing and returns its exit status.

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "ExitCodes.h"
#include "KelvoShared/Date.h"
#include "KelvoUI/Environment.h"
#include "KelvoWidget/CarEntry.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::host {

using Action = std::function<int()>;
using Json = nlohmann::ordered_json;

// `info`: the widget's registration as JSON.
void addInfoCommand(CLI::App& app, Action& action);
// `placeholder`, `snapshot [--preview]` and `timeline`: the provider's answers as JSON.
void addRequestCommands(CLI::App& app, Action& action);
// `status [--format text|waybar|i3blocks] [--watch]`: one line for status bars.
void addStatusCommand(CLI::App& app, Action& action);
// `serve [--listen ADDR:PORT] ...`: the widget over HTTP.
void addServeCommand(CLI::App& app, Action& action);

// ---- shared by the commands that ask the provider (requests, render, run) ----

// --family, --shared-dir and --now, as given on the command line.
struct RequestOptions {
  std::string family = "small";
  std::optional<std::string> sharedDir;
  std::optional<std::string> now;

  // Valid once CLI11 has checked the options.
  ui::WidgetFamily widgetFamily() const;
  // The host's clock: --now when given, else the system clock.
  widget::CarProvider::Clock clock() const;
  // The provider on the process's store (or --shared-dir), with --now as its clock.
  widget::CarProvider provider() const;
};

// Adds the three options to `command`, each checked while parsing so a bad
// value is a usage error.
void addRequestOptions(CLI::App& command, RequestOptions& options);
// Only --shared-dir and --now, for commands that take their families otherwise.
void addStoreAndClockOptions(CLI::App& command, RequestOptions& options);
// Accepts the families' short and system names (ui::parseFamily).
CLI::Validator familyValidator();
// The families, their sizes and help texts, for an option's help.
std::string familyHelp();

// The host's JSON forms of an entry and a timeline; dates are RFC 3339 UTC
// with milliseconds.
Json entryJson(const widget::CarEntry& entry);
Json timelineJson(const widget::Timeline& timeline);

// Prints one compact JSON document and a newline on standard output.
void printJson(const Json& json);

}  // namespace kelvo::host
