#pragma once

// How kelvo-widget's commands are put together: the commands and their
// options are rows of the program's table (WidgetProgram.cpp); each command
// lives in its own file as one of the functions below, which main() runs
// with the parsed options and whose exit status it returns.

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
#include "WidgetProgram.h"

namespace kelvo::host {

using Action = std::function<int()>;
using Json = nlohmann::ordered_json;

// `info`: the widget's registration as JSON.
int infoCommand(const WidgetCommandLine& options);
// `placeholder`, `snapshot [--preview]` and `timeline`: the provider's answers as JSON.
int placeholderCommand(const WidgetCommandLine& options);
int snapshotCommand(const WidgetCommandLine& options);
int timelineCommand(const WidgetCommandLine& options);
// `status [--format text|waybar|i3blocks] [--watch]`: one line for status bars.
int statusCommand(const WidgetCommandLine& options);
// `serve [--listen ADDR:PORT] ...`: the widget over HTTP.
int serveCommand(const WidgetCommandLine& options);

// ---- shared by the commands that ask the provider (requests, render, run) ----

// --family, --shared-dir and --now, as given on the command line.
struct RequestOptions {
  std::string family = "small";
  std::optional<std::string> sharedDir;
  std::optional<std::string> now;

  explicit RequestOptions(const WidgetCommandLine& line)
      : family(line.family), sharedDir(line.sharedDir), now(line.now) {}

  // Valid once CLI11 has checked the options.
  ui::WidgetFamily widgetFamily() const;
  // The host's clock: --now when given, else the system clock.
  widget::CarProvider::Clock clock() const;
  // The provider on the process's store (or --shared-dir), with --now as its clock.
  widget::CarProvider provider() const;
};

// The host's JSON forms of an entry and a timeline; dates are RFC 3339 UTC
// with milliseconds.
Json entryJson(const widget::CarEntry& entry);
Json timelineJson(const widget::Timeline& timeline);

// Prints one compact JSON document and a newline on standard output.
void printJson(const Json& json);

}  // namespace kelvo::host
