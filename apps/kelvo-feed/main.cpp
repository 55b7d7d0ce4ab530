// kelvo-feed: keeps the widget's snapshot current from an MQTT broker
// (TeslaMate, evcc, a whole-snapshot topic or a topic map of one's own).

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "CarState.h"
#include "FeedConfig.h"
#include "FeedDaemon.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/RegularFile.h"
#include "KelvoShared/SharedStore.h"
#include "ParseCommandLine.h"

namespace {

using namespace kelvo::feed;

using kelvo::apps::kExitFailure;

// What the command line set; unset values leave the config file's.
struct CommandLine {
  std::optional<std::string> config, broker, preset, car, prefix, range, topic, unit, username, passwordFile,
      cafile, sharedDir, image, clientId;
  bool insecure = false;
  bool once = false;
  double timeout = 10;
  bool verbose = false;
};

// Start-up errors carry paths and values from the command line and the
// config file as they are: escaped here, where they reach the log.
std::string shown(const std::string& message) { return escapeForLog(message, 1000); }

int fail(const std::string& message) {
  logLine(shown(message));
  return kExitFailure;
}

void overlay(const CommandLine& line, FeedSettings& settings) {
  const auto take = [](const std::optional<std::string>& value, auto& field) {
    if (value) field = *value;
  };
  take(line.broker, settings.broker);
  take(line.preset, settings.preset);
  take(line.car, settings.car);
  take(line.range, settings.range);
  take(line.topic, settings.topic);
  take(line.clientId, settings.clientId);
  if (line.prefix) settings.prefix = line.prefix;
  if (line.unit) settings.unit = line.unit;
  if (line.username) settings.username = line.username;
  if (line.cafile) settings.cafile = line.cafile;
  if (line.sharedDir) settings.sharedDir = line.sharedDir;
  if (line.image) settings.image = line.image;
  if (line.insecure) settings.insecure = true;
}

// The password: --password-file, then KELVO_MQTT_PASSWORD, then the config
// file's password_file or password. Never an option's value.
kelvo::Result<std::optional<std::string>> findPassword(const CommandLine& line,
                                                       const FeedSettings& settings) {
  const auto fromFile = [](const std::string& file) -> kelvo::Result<std::optional<std::string>> {
    auto password = readPasswordFile(file);
    if (!password) return password.error();
    return std::optional<std::string>(std::move(password).value());
  };
  if (line.passwordFile) return fromFile(*line.passwordFile);
  if (const char* variable = std::getenv("KELVO_MQTT_PASSWORD"); variable && variable[0] != '\0') {
    return std::optional<std::string>(variable);
  }
  if (settings.passwordFile) return fromFile(*settings.passwordFile);
  return settings.password;
}

// The picture is read as every other file is: a regular file of at most
// 64 MiB, opened without blocking. A directory, FIFO or device is refused
// and car.png stays as it was.
kelvo::Status saveImage(const kelvo::SharedStore& store, const std::string& file) {
  auto bytes = kelvo::readRegularFile(file, kelvo::SharedStore::kImageSizeLimit);
  if (!bytes) return kelvo::Error{"cannot read the picture " + file + ": " + bytes.error().message};
  const auto writer = store.writer();
  if (kelvo::Status status = writer ? writer->saveImage(*bytes) : kelvo::Status(writer.error()); !status) {
    return kelvo::Error{"cannot save the picture: " + status.error().message};
  }
  return {};
}

// What one reading of the command line and the config file gives.
struct Setup {
  FeedSettings settings;
  FeedOptions options;
  FeedSource source;
};

kelvo::Result<Setup> loadSetup(const CommandLine& line) {
  Setup setup;
  FeedSettings& settings = setup.settings;
  if (line.config) {
    if (auto ok = applyConfigFile(*line.config, settings); !ok) return ok.error();
  } else {
    auto file = findDefaultConfigFile();
    if (!file) return file.error();
    if (*file) {
      if (auto ok = applyConfigFile(**file, settings); !ok) return ok.error();
    }
  }
  overlay(line, settings);

  auto broker = parseBrokerUrl(settings.broker);
  if (!broker) return broker.error();
  auto source = buildSource(settings);
  if (!source) return source.error();
  setup.source = std::move(source).value();
  auto password = findPassword(line, settings);
  if (!password) return password.error();

  FeedOptions& options = setup.options;
  options.broker = *broker;
  options.username = settings.username;
  options.password = *password;
  if (options.password && !options.username) return kelvo::Error{"a password needs a user name (--username)"};
  options.cafile = settings.cafile;
  options.insecure = settings.insecure;
  if (options.insecure && !options.broker.tls) return kelvo::Error{"--insecure applies only to mqtts://"};
  options.clientId = settings.clientId;
  options.once = line.once;
  options.timeout = line.timeout;
  options.verbose = line.verbose;
  options.unitExplicit = settings.unit.has_value();
  options.unit = settings.unit ? *parseUnit(*settings.unit) : unitFromEnvironment();
  return setup;
}

// Whether two settings listen to the same topics by the same rules, so
// that the values known so far stay good.
bool sameSource(const FeedSettings& a, const FeedSettings& b) {
  const auto lines = [](const FeedSettings& s) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const IniEntry& entry : s.map) out.emplace_back(entry.key, entry.value);
    return out;
  };
  return std::tie(a.preset, a.car, a.prefix, a.range, a.topic) ==
             std::tie(b.preset, b.car, b.prefix, b.range, b.topic) &&
         lines(a) == lines(b);
}

kelvo::Platform platformFor(const FeedSettings& settings) {
  return settings.sharedDir ? kelvo::Platform::withSharedDirectory(*settings.sharedDir)
                            : kelvo::Platform::current();
}

int run(const CommandLine& line) {
  // A reload asked for while the settings are first read has nothing to add
  // (the daemon takes SIGHUP from its start on).
  std::signal(SIGHUP, SIG_IGN);
  auto setup = loadSetup(line);
  if (!setup) return fail(setup.error().message);
  std::optional<kelvo::SharedStore> store(platformFor(setup->settings));
  if (setup->settings.image) {
    if (auto ok = saveImage(*store, *setup->settings.image); !ok) return fail(ok.error().message);
  }
  CarState state(setup->source);
  for (;;) {
    const std::optional<int> end = runFeed(setup->options, state, *store);
    if (end) return *end;
    // SIGHUP: the settings are read anew. Wrong ones are logged and the
    // running ones stay; the values known so far stay while the topics do.
    auto next = loadSetup(line);
    if (!next) {
      logLine("cannot reload the settings, keeping the running ones: " + shown(next.error().message));
      continue;
    }
    if (!sameSource(setup->settings, next->settings)) state = CarState(next->source);
    setup = std::move(next);
    store.emplace(platformFor(setup->settings));
    if (setup->settings.image) {
      if (auto ok = saveImage(*store, *setup->settings.image); !ok) logLine(shown(ok.error().message));
    }
    logLine("reloaded the settings");
  }
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  CLI::App app{"Keeps the Kelvo widget current from an MQTT broker (TeslaMate, evcc, or a topic map).",
               "kelvo-feed"};
  app.add_option("--config", line.config,
                 "Settings file (default ${XDG_CONFIG_HOME:-~/.config}/kelvo/feed.ini)")
      ->option_text("FILE");
  app.add_option("--broker", line.broker,
                 "mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (default mqtt://localhost)")
      ->option_text("URL")
      ->check([](const std::string& url) {
        auto address = parseBrokerUrl(url);
        return address ? std::string() : address.error().message;
      });
  app.add_option("--preset", line.preset, "Where the data comes from (default teslamate)")
      ->check(CLI::IsMember({"teslamate", "evcc", "snapshot", "map"}))
      ->option_text("teslamate|evcc|snapshot|map");
  app.add_option("--car", line.car, "TeslaMate car id or evcc loadpoint id (default 1)")->option_text("ID");
  app.add_option("--prefix", line.prefix, "Root topic instead of the preset's (teslamate, evcc)")
      ->option_text("TOPIC");
  app.add_option("--topic", line.topic, "The snapshot preset's topic")->option_text("TOPIC");
  app.add_option("--range", line.range, "TeslaMate range to show (default est)")
      ->check(CLI::IsMember({"est", "rated", "ideal"}))
      ->option_text("est|rated|ideal");
  app.add_option("--unit", line.unit, "Distance unit (default from the locale's measurement system)")
      ->check(CLI::IsMember({"km", "mi"}))
      ->option_text("km|mi");
  app.add_option("--username", line.username, "Broker user name")->option_text("USER");
  app.add_option("--password-file", line.passwordFile,
                 "File holding the broker password (mode 600); or KELVO_MQTT_PASSWORD")
      ->option_text("FILE");
  app.add_option("--cafile", line.cafile, "CA certificates for mqtts:// (default: the system's)")
      ->option_text("FILE");
  app.add_flag("--insecure", line.insecure, "Do not check the broker's certificate (logs a warning)");
  app.add_option("--client-id", line.clientId, "MQTT client id (default: chosen by the library)")
      ->option_text("ID");
  kelvo::apps::addSharedDirOption(app, line.sharedDir);
  app.add_option("--image", line.image, "Save this car picture into the shared directory at start")
      ->option_text("FILE");
  app.add_flag("--once", line.once, "Write one snapshot from the retained messages, then exit");
  app.add_option("--timeout", line.timeout,
                 "Seconds --once may take in all, connecting included (default 10)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            // NaN passes every range check made of comparisons; this one fails it.
            const double seconds = std::strtod(text.c_str(), nullptr);
            return seconds >= 0.1 && seconds <= 3600 ? std::string() : "must be 0.1 to 3600 seconds";
          },
          "SECONDS", "0.1…3600"))
      ->option_text("SECONDS");
  app.add_flag("-v,--verbose", line.verbose, "Log every message received");

  if (const auto status = kelvo::apps::parseCommandLine(app, argc, argv)) return *status;

  try {
    return run(line);
  } catch (const std::exception& e) {
    // Every known failure is reported where it happens; this one was not.
    return fail(std::string("unexpected failure: ") + e.what());
  }
}
