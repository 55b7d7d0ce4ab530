#pragma once

// The set-up form's rules, without the window: what Connect tries, the one
// sentence each failure shows beside its field, and the settings Save writes.

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

#include "CarDiscovery.h"
#include "DiscoverCars.h"
#include "FeedConfig.h"

namespace kelvo::app {

// Where the data comes from, as the form offers it.
enum class Source { teslamate, evcc, snapshot };

// The form's fields, each with a place for its error sentence.
enum class Field { source, prefix, topic, broker, username, password, dashboard, car };

struct FormInput {
  Source source = Source::teslamate;
  std::string prefix;    // optional root topic, tried besides the usual ones
  std::string topic;     // the snapshot topic
  std::string broker;    // mqtt:// or mqtts:// URL; empty: mqtt://localhost
  std::string username;  // empty: no login
  std::string password;
  std::string dashboard;  // the source's web interface, optional
};

struct FieldError {
  Field field;
  std::string sentence;  // one sentence, in the user's language
};

// What Connect logs in with, or the field that is wrong; the TLS settings
// the form does not show (cafile, insecure) come from `saved`.
std::variant<feed::ClientOptions, FieldError> connectOptions(const FormInput& input,
                                                             const feed::FeedSettings& saved = {});

// The sentence for a failed attempt, beside the field it points at.
FieldError explain(const feed::DiscoveryFailure& failure);

// The settings Save writes for `input` and the picked car (needed for
// TeslaMate and evcc), with a typed password in `passwordFile`. What the
// form does not show is kept from `saved` (TLS, unit, picture, map), and so
// is the saved password file while the password field is left empty.
std::variant<feed::FeedSettings, FieldError> settingsFor(const FormInput& input,
                                                         const std::optional<feed::FoundCar>& car,
                                                         const std::filesystem::path& passwordFile,
                                                         const feed::FeedSettings& saved = {});

// The form filled in from saved settings (the password is not read back).
FormInput inputFrom(const feed::FeedSettings& settings);

}  // namespace kelvo::app
