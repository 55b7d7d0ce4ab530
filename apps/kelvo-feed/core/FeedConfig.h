#pragma once

// The feed's settings: defaults, the configuration file, and what they turn
// into (the broker address, the topic table, the distance unit).

#include <unicode/locid.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Ini.h"
#include "KelvoBase/Result.h"
#include "KelvoShared/DistanceUnit.h"
#include "TopicMap.h"

namespace kelvo::feed {

struct FeedSettings {
  std::string broker = "mqtt://localhost";  // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
  Preset preset = Preset::teslamate;        // a row of kPresets
  std::string car = "1";                    // TeslaMate car id or evcc loadpoint id
  std::optional<std::string> prefix;        // replaces the preset's root topic
  std::string range = "est";                // TeslaMate range: est, rated or ideal
  std::string topic;                        // the snapshot preset's topic
  std::optional<std::string> unit;          // km or mi; else from the locale
  std::optional<std::string> username;      // broker user name
  std::optional<std::string> password;      // broker password (config file or environment only)
  std::optional<std::string> passwordFile;  // file whose first line is the password
  std::optional<std::string> cafile;        // CA certificates for mqtts (else the system's)
  bool insecure = false;                    // mqtts without certificate checks
  std::optional<std::string> sharedDir;     // --shared-dir
  std::optional<std::string> image;         // a car picture to save at start
  std::optional<std::string> dashboard;  // the source's web interface (http:// or https://), for the window
  std::string clientId;                  // MQTT client id; empty: chosen from the process
  std::vector<IniEntry> map;             // the [map] group's lines
};

struct BrokerAddress {
  bool tls = false;
  std::string host;
  int port = 1883;
};

// mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883); HOST may be an
// IPv6 address in brackets. Nothing else: no path, user or password.
Result<BrokerAddress> parseBrokerUrl(std::string_view url);

// Refuses a file that group or others may read (the same rule ssh applies
// to private keys); `what` names it in the message, `why` follows the refusal.
Status checkPrivate(const std::filesystem::path& file, const std::string& what, const std::string& why = "");

// Reads `file` and applies its settings over `settings` (kelvo-feed's option
// table: [broker] and [feed], key = option name; [map] as written). A file
// holding a password is refused when group or others may read it. Errors
// read "FILE:LINE: why"; a key in an old spelling adds a line to `warnings`.
Status applyConfigFile(const std::filesystem::path& file, FeedSettings& settings,
                       std::vector<std::string>* warnings = nullptr);
// The same for text already read; `name` is the file's name in messages.
Status applyConfigText(std::string_view text, const std::string& name, FeedSettings& settings,
                       std::vector<std::string>* warnings = nullptr);

// The password's first line, without its line end (checked with checkPrivate).
Result<std::string> readPasswordFile(const std::filesystem::path& file);

// The configuration file's default place: ${XDG_CONFIG_HOME:-~/.config}/kelvo/feed.ini.
std::optional<std::filesystem::path> defaultConfigFile();

// The default configuration file when it exists, nothing when it does not,
// and an error when it cannot be looked up (an unsearchable folder, a name
// too long). Never throws.
Result<std::optional<std::filesystem::path>> findDefaultConfigFile();

// The topic table the settings ask for.
Result<FeedSource> buildSource(const FeedSettings& settings);

// "km" or "mi".
Result<DistanceUnit> parseUnit(std::string_view text);
// Miles where ICU says the locale measures in the US or UK system.
DistanceUnit unitForLocale(const icu::Locale& locale);
// The same for a POSIX locale name; kilometres for C and POSIX (and no name).
DistanceUnit unitForPosixLocale(std::string_view name);
// The unit for the POSIX locale environment: LC_ALL, LC_MEASUREMENT, LANG.
DistanceUnit unitFromEnvironment();

}  // namespace kelvo::feed
