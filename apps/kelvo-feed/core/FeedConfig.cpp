#include "FeedConfig.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unicode/ulocdata.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "FeedProgram.h"
#include "KelvoShared/CurrentLocale.h"
#include "KelvoShared/RegularFile.h"

namespace kelvo::feed {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kConfigSizeLimit = 1 << 20;
// Longer topics are no real source's; the protocol's own limit is 65,535 bytes.
constexpr std::size_t kTopicLimit = 1024;

// Regular files only, opened without blocking: a FIFO or a device named as
// the config or password file must not hang the start.
// A path as messages show it: a long one cut, so that the reason after it shows.
std::string named(const fs::path& file) {
  const std::string& text = file.native();
  return text.size() <= 200 ? text : text.substr(0, 100) + "…" + text.substr(text.size() - 99);
}

Result<std::string> readSmallFile(const fs::path& file) {
  auto bytes = readRegularFile(file, kConfigSizeLimit, FileNaming::byCaller);
  if (!bytes) return Error{named(file) + ": " + bytes.error().message};
  return std::string(bytes->begin(), bytes->end());
}

const char* nonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

Result<FeedSource> presetSource(const FeedSettings& settings) {
  switch (settings.preset) {
    case Preset::teslamate:
      return teslamateSource(settings.prefix.value_or("teslamate"), settings.car, settings.range);
    case Preset::evcc:
      return evccSource(settings.prefix.value_or("evcc"), settings.car);
    case Preset::snapshot:
      return snapshotSource(settings.topic);
    case Preset::map:
      if (settings.map.empty()) return Error{"the map preset needs a [map] group in the config file"};
      return mapSource(settings.map);
  }
  return Error{"unknown preset"};
}

// C0 and C1 controls and DEL: never part of a host name or a topic, and
// they would act on a terminal that shows the log.
bool hasControlCharacter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (byte < 0x20 || byte == 0x7F || c1) return true;
  }
  return false;
}

Status checkTopic(std::string_view topic) {
  const auto fail = [&](const std::string& what) {
    return Error{"the topic \"" + std::string(topic.substr(0, 80)) + (topic.size() > 80 ? "…" : "") + "\" " +
                 what};
  };
  if (topic.size() > kTopicLimit) return fail("is longer than " + std::to_string(kTopicLimit) + " bytes");
  if (!isPlainTopic(topic)) return fail("is not one topic (\"+\" and \"#\" are wildcards)");
  if (hasControlCharacter(topic)) return fail("has a control character");
  return {};
}

}  // namespace

Result<BrokerAddress> parseBrokerUrl(std::string_view url) {
  BrokerAddress address;
  std::string_view rest;
  if (url.starts_with("mqtt://")) {
    rest = url.substr(7);
  } else if (url.starts_with("mqtts://")) {
    rest = url.substr(8);
    address.tls = true;
    address.port = 8883;
  } else {
    return Error{"the broker must be mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"};
  }
  if (rest.ends_with('/')) rest.remove_suffix(1);
  std::string_view portText;
  if (rest.starts_with('[')) {
    const auto close = rest.find(']');
    if (close == std::string_view::npos) return Error{"the broker's IPv6 address lacks \"]\""};
    address.host = std::string(rest.substr(1, close - 1));
    rest.remove_prefix(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return Error{"unexpected text after the broker's address"};
    if (!rest.empty()) portText = rest.substr(1);
  } else {
    const auto colon = rest.find(':');
    address.host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) portText = rest.substr(colon + 1);
    if (colon != std::string_view::npos && portText.empty()) return Error{"the broker's port is empty"};
  }
  if (address.host.empty()) return Error{"the broker URL has no host"};
  if (hasControlCharacter(address.host)) return Error{"the broker's host has a control character"};
  if (address.host.find_first_of("/@?# ") != std::string::npos) {
    return Error{"the broker URL takes only a host and a port (no user, password or path)"};
  }
  if (!portText.empty() || rest.ends_with(':')) {
    int port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9' || port > 65535) return Error{"the broker's port must be 1…65535"};
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return Error{"the broker's port must be 1…65535"};
    address.port = port;
  }
  return address;
}

Status checkPrivate(const fs::path& file, const std::string& what, const std::string& why) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    return Error{named(file) + ": cannot open: " + std::generic_category().message(errno)};
  }
  if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    return Error{what + " " + named(file) + " is readable by group or others; refusing it" + why +
                 " (chmod 600 " + named(file) + ")"};
  }
  return {};
}

Status applyConfigText(std::string_view text, const std::string& name, FeedSettings& settings,
                       std::vector<std::string>* warnings) {
  auto entries = apps::parseIni(text);
  if (!entries) return Error{name + ":" + entries.error().message};
  FeedCommandLine target;
  target.settings = settings;
  const apps::Program program = feedProgram(target);
  std::vector<std::string> said;
  for (const IniEntry& entry : *entries) {
    if (entry.group == "map") {
      target.settings.map.push_back(entry);
    } else if (entry.group != "broker" && entry.group != "feed") {
      return Error{name + ":" + std::to_string(entry.line) + ": unknown group [" + entry.group +
                   "] (known: broker, feed, map)"};
    }
  }
  for (const char* group : {"broker", "feed"}) {
    if (auto ok = apps::applyConfigGroup(program, *entries, group, name, said); !ok) return ok;
  }
  if (warnings != nullptr) warnings->insert(warnings->end(), said.begin(), said.end());
  // Map errors carry their own line numbers.
  if (!target.settings.map.empty()) {
    if (auto source = mapSource(target.settings.map); !source) {
      const std::string& why = source.error().message;
      return Error{name + (!why.empty() && std::isdigit(static_cast<unsigned char>(why[0])) ? ":" : ": ") +
                   why};
    }
  }
  settings = std::move(target.settings);
  return {};
}

Status applyConfigFile(const fs::path& file, FeedSettings& settings, std::vector<std::string>* warnings) {
  auto text = readSmallFile(file);
  if (!text) return text.error();
  FeedSettings read = settings;
  if (auto ok = applyConfigText(*text, named(file), read, warnings); !ok) return ok;
  // Only a secret makes a config file private; a password file is checked itself.
  if (read.password) {
    if (auto ok = checkPrivate(file, "config file", ", since it holds the broker password"); !ok) return ok;
  }
  settings = std::move(read);
  return {};
}

Result<std::string> readPasswordFile(const fs::path& file) {
  if (auto ok = checkPrivate(file, "password file"); !ok) return ok.error();
  auto text = readSmallFile(file);
  if (!text) return text.error();
  std::string password = text->substr(0, text->find('\n'));
  if (password.ends_with('\r')) password.pop_back();
  if (text->empty()) return Error{"password file " + named(file) + " is empty"};
  if (password.empty()) {
    return Error{"password file " + named(file) +
                 ": the first line is blank (the password is the first line)"};
  }
  return password;
}

std::optional<fs::path> defaultConfigFile() {
  if (const char* config = nonEmptyVariable("XDG_CONFIG_HOME"); config && config[0] == '/') {
    return fs::path(config) / "kelvo" / "feed.ini";
  }
  std::optional<fs::path> home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/') {
    home = entry->pw_dir;
  } else if (const char* variable = nonEmptyVariable("HOME")) {
    home = variable;
  }
  if (!home) return std::nullopt;
  return *home / ".config" / "kelvo" / "feed.ini";
}

Result<std::optional<fs::path>> findDefaultConfigFile() {
  const auto file = defaultConfigFile();
  if (!file) return std::optional<fs::path>();
  struct stat info {};
  if (::stat(file->c_str(), &info) == 0) return file;
  // Nothing there is no error; a folder that may not be searched or a name
  // too long is, or settings would be silently ignored.
  if (errno == ENOENT || errno == ENOTDIR) return std::optional<fs::path>();
  return Error{named(*file) + ": cannot open: " + std::generic_category().message(errno)};
}

Result<FeedSource> buildSource(const FeedSettings& settings) {
  auto source = presetSource(settings);
  if (!source) return source;
  // Every topic is checked whole, whichever part (prefix, car id, map line)
  // made it wrong: the broker would refuse it on every connection.
  for (const InputSpec& input : source->inputs) {
    if (input.topic == "-") continue;
    if (auto ok = checkTopic(input.topic); !ok) return ok.error();
  }
  return source;
}

Result<DistanceUnit> parseUnit(std::string_view text) {
  if (text == "km") return DistanceUnit::kilometers;
  if (text == "mi") return DistanceUnit::miles;
  return Error{"the unit must be km or mi"};
}

DistanceUnit unitForLocale(const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  const UMeasurementSystem system = ulocdata_getMeasurementSystem(locale.getName(), &status);
  if (U_FAILURE(status)) return DistanceUnit::kilometers;
  return system == UMS_US || system == UMS_UK ? DistanceUnit::miles : DistanceUnit::kilometers;
}

DistanceUnit unitForPosixLocale(std::string_view name) {
  // glibc's C and POSIX locales are metric; ICU would take them for its root
  // locale, which measures in the US system.
  const std::string_view base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return DistanceUnit::kilometers;
  return unitForLocale(localeFromPosixName(name));
}

DistanceUnit unitFromEnvironment() {
  const char* name = nonEmptyVariable("LC_ALL");
  if (name == nullptr) name = nonEmptyVariable("LC_MEASUREMENT");
  if (name == nullptr) name = nonEmptyVariable("LANG");
  return unitForPosixLocale(name != nullptr ? name : "");
}

}  // namespace kelvo::feed
