#pragma once

// kelvo-widget's commands and options, one row each: the command line,
// --help, the manual page and the completions.

#include <optional>
#include <string>
#include <vector>

#include "Options.h"

namespace kelvo::host {

// What the rows set; each command reads the fields of the options it takes.
struct WidgetCommandLine {
  std::string family = "small";       // --family
  std::vector<std::string> families;  // run's --family, repeatable
  std::optional<std::string> sharedDir, now;
  std::string appearance = "light";
  double scale = 2;  // pixels per point
  bool legacyHost = false;
  bool preview = false;
  std::string format = "png";  // render
  std::string output = "-";
  std::string outDir;  // run
  bool once = false;
  std::string statusFormat = "text";  // status
  bool watch = false;
  std::string listen = "127.0.0.1:8765";  // serve
  std::optional<std::string> tokenFile, tlsCertificate, tlsKey;
  unsigned maxConnections = 512, maxPerAddress = 64, idleSeconds = 15, requestSeconds = 30, threads = 2;
  bool verbose = false;
};

// The table, its rows setting the fields of `target` (which must outlive it).
apps::Program widgetProgram(WidgetCommandLine& target);

// A --scale value: a finite decimal number within the supported range.
std::optional<double> parseScale(std::string_view text);

}  // namespace kelvo::host
