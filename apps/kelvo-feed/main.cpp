// kelvo-feed: keeps the widget's snapshot current from an MQTT broker
// (TeslaMate, evcc, a whole-snapshot topic or a topic map of one's own).

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "CarState.h"
#include "FeedConfig.h"
#include "FeedDaemon.h"
#include "KelvoShared/Platform.h"
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

int fail(const std::string& message) {
  logLine(message);
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

void saveImage(const kelvo::SharedStore& store, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    logLine("cannot read the picture " + escapeForLog(file));
    return;
  }
  std::vector<std::uint8_t> bytes;
  bytes.resize(kelvo::SharedStore::kImageSizeLimit + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.size() > kelvo::SharedStore::kImageSizeLimit) {
    logLine("the picture " + escapeForLog(file) + " is larger than 64 MiB; not saved");
    return;
  }
  const auto writer = store.writer();
  if (const kelvo::Status status = writer ? writer->saveImage(bytes) : kelvo::Status(writer.error());
      !status) {
    logLine("cannot save the picture: " + escapeForLog(status.error().message));
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
  app.add_option("--shared-dir", line.sharedDir, "Use DIR as the shared directory (a missing DIR means none)")
      ->option_text("DIR");
  app.add_option("--image", line.image, "Save this car picture into the shared directory at start")
      ->option_text("FILE");
  app.add_flag("--once", line.once, "Write one snapshot from the retained messages, then exit");
  app.add_option("--timeout", line.timeout, "Seconds --once waits for the required values (default 10)")
      ->check(CLI::Range(0.1, 3600.0))
      ->option_text("SECONDS");
  app.add_flag("-v,--verbose", line.verbose, "Log every message received");

  if (const auto status = kelvo::apps::parseCommandLine(app, argc, argv)) return *status;

  FeedSettings settings;
  if (line.config) {
    if (auto ok = applyConfigFile(*line.config, settings); !ok) return fail(ok.error().message);
  } else if (const auto file = defaultConfigFile(); file && std::filesystem::exists(*file)) {
    if (auto ok = applyConfigFile(*file, settings); !ok) return fail(ok.error().message);
  }
  overlay(line, settings);

  auto broker = parseBrokerUrl(settings.broker);
  if (!broker) return fail(broker.error().message);
  auto source = buildSource(settings);
  if (!source) return fail(source.error().message);
  auto password = findPassword(line, settings);
  if (!password) return fail(password.error().message);

  FeedOptions options;
  options.broker = *broker;
  options.username = settings.username;
  options.password = *password;
  if (options.password && !options.username) return fail("a password needs a user name (--username)");
  options.cafile = settings.cafile;
  options.insecure = settings.insecure;
  if (options.insecure && !options.broker.tls) return fail("--insecure applies only to mqtts://");
  options.clientId = settings.clientId;
  options.once = line.once;
  options.timeout = line.timeout;
  options.verbose = line.verbose;
  options.unitExplicit = settings.unit.has_value();
  options.unit = settings.unit ? *parseUnit(*settings.unit) : unitFromEnvironment();

  const kelvo::SharedStore store(settings.sharedDir
                                     ? kelvo::Platform::withSharedDirectory(*settings.sharedDir)
                                     : kelvo::Platform::current());
  if (settings.image) saveImage(store, *settings.image);

  return runFeed(options, CarState(std::move(source).value()), store);
}
