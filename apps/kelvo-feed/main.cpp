// kelvo-feed: keeps the widget's snapshot current from an MQTT broker
// (TeslaMate, evcc, a whole-snapshot topic or a topic map of one's own).

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "CarState.h"
#include "ExitCodes.h"
#include "FeedConfig.h"
#include "FeedDaemon.h"
#include "FeedProgram.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/RegularFile.h"
#include "KelvoShared/SharedStore.h"
#include "Options.h"

namespace {

using namespace kelvo::feed;

using kelvo::apps::kExitFailure;

// The command line as parsed; its rows are applied again over the config
// file at every reading of the settings.
struct CommandLine {
  FeedCommandLine target;
  kelvo::apps::Program program = feedProgram(target);
  kelvo::apps::Parsed parsed;
};

// Start-up errors carry paths and values from the command line and the
// config file as they are: escaped here, where they reach the log.
std::string shown(const std::string& message) { return kelvo::logValue(message, kelvo::kLogLineBytes); }

int fail(const std::string& message) {
  logLine(shown(message));
  return kExitFailure;
}

// The password: --password-file, then KELVO_MQTT_PASSWORD, then the config
// file's password-file or password. Never an option's value.
kelvo::Result<std::optional<std::string>> findPassword(const CommandLine& line,
                                                       const FeedSettings& settings) {
  const auto fromFile = [](const std::string& file) -> kelvo::Result<std::optional<std::string>> {
    auto password = readPasswordFile(file);
    if (!password) return password.error();
    return std::optional<std::string>(std::move(password).value());
  };
  if (line.parsed.has("password-file")) return fromFile(*settings.passwordFile);
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

kelvo::Result<Setup> loadSetup(CommandLine& line) {
  Setup setup;
  FeedSettings& settings = line.target.settings;
  settings = FeedSettings();
  std::vector<std::string> warnings;
  if (line.target.config) {
    if (auto ok = applyConfigFile(*line.target.config, settings, &warnings); !ok) return ok.error();
  } else {
    auto file = findDefaultConfigFile();
    if (!file) return file.error();
    if (*file) {
      if (auto ok = applyConfigFile(**file, settings, &warnings); !ok) return ok.error();
    }
  }
  for (const std::string& warning : warnings) logLine(shown(warning));
  kelvo::apps::applyGiven(line.parsed, kelvo::apps::Rows::configurable);
  setup.settings = settings;

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
  options.once = line.target.once;
  options.timeout = line.target.timeout;
  options.verbose = line.target.verbose;
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
  return kelvo::Platform::forSharedDirectory(settings.sharedDir);
}

int run(CommandLine& line) {
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
  line.parsed = kelvo::apps::parseCommandLine(line.program, argc, argv);
  if (line.parsed.exit) return *line.parsed.exit;
  kelvo::apps::applyGiven(line.parsed, kelvo::apps::Rows::commandLineOnly);

  try {
    return run(line);
  } catch (const std::exception& e) {
    // Every known failure is reported where it happens; this one was not.
    return fail(std::string("unexpected failure: ") + e.what());
  }
}
