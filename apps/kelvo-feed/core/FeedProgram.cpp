#include "FeedProgram.h"

#include <cmath>
#include <cstdlib>

// Rows name only the fields they need; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace kelvo::feed {

using apps::Option;
using apps::Value;

apps::Program feedProgram(FeedCommandLine& target) {
  FeedSettings& s = target.settings;
  const auto text = [](std::string& field) { return [&field](const std::string& v) { field = v; }; };
  const auto maybe = [](std::optional<std::string>& field) {
    return [&field](const std::string& v) { field = v; };
  };
  const auto flag = [](bool& field) { return [&field](const std::string& v) { field = v == "true"; }; };
  apps::Program program{
      "kelvo-feed", "Keeps the Kelvo widget current from an MQTT broker (TeslaMate, evcc, or a topic map).",
      "Settings not given come from the config file's [broker] and [feed] groups (key = the option's "
      "name); the password only from a password file, KELVO_MQTT_PASSWORD or the config file.\n"
      "SIGHUP reads the settings again; SIGTERM and SIGINT end it after the pending write."};
  // clang-format off
  program.options = {
      {.name = "config", .valueName = "FILE", .kind = Value::file, .help = "Settings file",
       .defaultText = "${XDG_CONFIG_HOME:-~/.config}/kelvo/feed.ini, when it exists", .set = maybe(target.config)},
      {.name = "broker", .valueName = "URL", .help = "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]",
       .defaultText = "mqtt://localhost",
       .check = [](const std::string& v) { auto a = parseBrokerUrl(v); return a ? std::string() : a.error().message; },
       .set = text(s.broker), .group = "broker", .key = "url"},
      {.name = "username", .valueName = "USER", .help = "Broker user name", .set = maybe(s.username), .group = "broker"},
      {.name = "password", .valueName = "PASSWORD", .help = "Broker password (prefer password-file)",
       .set = maybe(s.password), .group = "broker", .onCommandLine = false},
      {.name = "password-file", .valueName = "FILE", .kind = Value::file,
       .help = "File whose first line is the broker password (chmod 600); or KELVO_MQTT_PASSWORD",
       .set = maybe(s.passwordFile), .group = "broker", .oldKeys = {"password_file"}},
      {.name = "cafile", .valueName = "FILE", .kind = Value::file, .help = "CA certificates for mqtts://",
       .defaultText = "the system's", .set = maybe(s.cafile), .group = "broker"},
      {.name = "insecure", .kind = Value::none, .help = "Do not check the broker's certificate (logs a warning)",
       .set = flag(s.insecure), .group = "broker"},
      {.name = "client-id", .valueName = "ID", .help = "MQTT client id", .defaultText = "chosen from the process",
       .set = text(s.clientId), .group = "broker", .oldKeys = {"client_id"}},
      {.name = "preset", .valueName = "PRESET", .kind = Value::choice, .help = "Where the data comes from",
       .defaultText = "teslamate", .choices = presetNames(), .check = apps::oneOf("a preset", presetNames()),
       .set = [&s](const std::string& v) { s.preset = parsePreset(v).value_or(s.preset); }, .group = "feed"},
      {.name = "car", .valueName = "ID", .help = "TeslaMate car id or evcc loadpoint id", .defaultText = "1",
       .set = text(s.car), .group = "feed"},
      {.name = "prefix", .valueName = "TOPIC", .help = "Root topic instead of the preset's (teslamate, evcc)",
       .set = maybe(s.prefix), .group = "feed"},
      {.name = "topic", .valueName = "TOPIC", .help = "The snapshot preset's topic", .set = text(s.topic),
       .group = "feed"},
      {.name = "range", .valueName = "RANGE", .kind = Value::choice, .help = "TeslaMate range to show",
       .defaultText = "est", .choices = {"est", "rated", "ideal"},
       .check = apps::oneOf("a TeslaMate range", {"est", "rated", "ideal"}), .set = text(s.range), .group = "feed"},
      {.name = "unit", .valueName = "UNIT", .kind = Value::choice, .help = "Distance unit",
       .defaultText = "from the locale's measurement system", .choices = {"km", "mi"},
       .check = apps::oneOf("a distance unit", {"km", "mi"}), .set = maybe(s.unit), .group = "feed"},
      {.name = "shared-dir", .valueName = "DIR", .kind = Value::directory,
       .help = "Use DIR as the shared directory (a missing DIR means no container)", .check = apps::nonEmpty,
       .set = maybe(s.sharedDir), .group = "feed", .oldKeys = {"shared_dir"}},
      {.name = "image", .valueName = "FILE", .kind = Value::file,
       .help = "Save this car picture into the shared directory at start", .set = maybe(s.image), .group = "feed"},
      {.name = "dashboard", .valueName = "URL", .help = "The source's web interface, which the Kelvo window opens",
       .check = [](const std::string& v) -> std::string {
         if (v.starts_with("http://") || v.starts_with("https://")) return {};
         return "\"" + v + "\" is not an http:// or https:// address";
       },
       .set = maybe(s.dashboard), .group = "feed", .onCommandLine = false},
      {.name = "once", .kind = Value::none, .help = "Write one snapshot from the retained messages, then exit",
       .set = flag(target.once)},
      {.name = "timeout", .valueName = "SECONDS", .kind = Value::number,
       .help = "Seconds --once may take in all, connecting included (0.1 to 3600)", .defaultText = "10",
       .check = [](const std::string& v) -> std::string {
         char* end = nullptr;
         // NaN passes every range check made of comparisons; this one fails it.
         const double seconds = std::strtod(v.c_str(), &end);
         if (end != v.c_str() && *end == '\0' && seconds >= 0.1 && seconds <= 3600) return {};
         return "\"" + v + "\" is not a number of seconds from 0.1 to 3600";
       },
       .set = [&target](const std::string& v) { target.timeout = std::strtod(v.c_str(), nullptr); }},
      {.name = "verbose", .shortName = 'v', .kind = Value::none, .help = "Log every message received",
       .set = flag(target.verbose)},
  };
  // clang-format on
  for (const Option& option : program.options) {
    if (option.onCommandLine) program.programOptions.push_back(option.name);
  }
  return program;
}

}  // namespace kelvo::feed
