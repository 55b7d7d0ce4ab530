#include "SetupForm.h"

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/Localization.h"
#include "Trimmed.h"

namespace kelvo::app {

namespace {

std::string trim(const std::string& text) { return std::string(feed::trimmed(text, " \t\r\n")); }

const char* presetName(Source source) {
  switch (source) {
    case Source::teslamate:
      return "teslamate";
    case Source::evcc:
      return "evcc";
    case Source::snapshot:
      return "snapshot";
  }
  unreachable(__func__);
}

}  // namespace

std::variant<feed::ClientOptions, FieldError> connectOptions(const FormInput& input,
                                                             const feed::FeedSettings& saved) {
  const std::string url = trim(input.broker).empty() ? "mqtt://localhost" : trim(input.broker);
  auto broker = feed::parseBrokerUrl(url);
  if (!broker) {
    // TRANSLATORS: Kelvo window, set-up form: the broker address cannot be used.
    return FieldError{Field::broker, L("Enter the broker as mqtt://host:port or mqtts://host:port.")};
  }
  feed::ClientOptions options;
  options.broker = *broker;
  options.cafile = saved.cafile;
  options.insecure = saved.insecure && broker->tls;
  if (!trim(input.username).empty()) options.username = trim(input.username);
  if (!input.password.empty()) {
    if (!options.username) {
      // TRANSLATORS: Kelvo window, set-up form: a password was typed but no user name.
      return FieldError{Field::username, L("Enter the user name that goes with the password.")};
    }
    if (input.password.find_first_of("\r\n") != std::string::npos) {
      // TRANSLATORS: Kelvo window, set-up form: the password field holds a line break.
      return FieldError{Field::password, L("The password cannot contain a line break.")};
    }
    options.password = input.password;
  }
  return options;
}

FieldError explain(const feed::DiscoveryFailure& failure) {
  switch (failure.fault) {
    case feed::DiscoveryFault::broker:
      // TRANSLATORS: Kelvo window, set-up form: nothing answered at the broker's address.
      return {Field::broker, L("The broker did not answer at this address.")};
    case feed::DiscoveryFault::login:
      // TRANSLATORS: Kelvo window, set-up form: the broker refused the user name or password.
      return {Field::password, L("The broker refused this user name or password.")};
    case feed::DiscoveryFault::certificate:
      // TRANSLATORS: Kelvo window, set-up form: the TLS certificate check failed.
      return {Field::broker, L("The broker's certificate could not be verified.")};
    case feed::DiscoveryFault::setup:
      // TRANSLATORS: Kelvo window, set-up form: the MQTT client could not be made with these settings.
      return {Field::broker, L("These broker settings cannot be used.")};
  }
  unreachable(__func__);
}

std::variant<feed::FeedSettings, FieldError> settingsFor(const FormInput& input,
                                                         const std::optional<feed::FoundCar>& car,
                                                         const std::filesystem::path& passwordFile,
                                                         const feed::FeedSettings& saved) {
  auto options = connectOptions(input, saved);
  if (auto* error = std::get_if<FieldError>(&options)) return *error;
  feed::FeedSettings settings = saved;
  settings.password.reset();  // only ever in its own file
  settings.prefix.reset();
  settings.topic.clear();
  settings.dashboard.reset();
  settings.broker = trim(input.broker).empty() ? "mqtt://localhost" : trim(input.broker);
  settings.preset = feed::parsePreset(presetName(input.source)).value_or(feed::Preset::teslamate);
  if (input.source == Source::snapshot) {
    settings.topic = trim(input.topic);
    if (!feed::buildSource(settings)) {
      // TRANSLATORS: Kelvo window, set-up form: the snapshot source needs its topic.
      return FieldError{Field::topic, L("Enter the one topic that holds the snapshot.")};
    }
  } else {
    // TRANSLATORS: Kelvo window, set-up form: Save was pressed before a car was picked.
    if (!car) return FieldError{Field::car, L("Connect, then pick your car.")};
    // The car found says which source it is.
    settings.preset = feed::parsePreset(car->preset).value_or(feed::Preset::teslamate);
    settings.car = car->car;
    if (car->prefix != car->preset) settings.prefix = car->prefix;
  }
  const std::string dashboard = trim(input.dashboard);
  if (!dashboard.empty()) {
    if (!dashboard.starts_with("http://") && !dashboard.starts_with("https://"))
      // TRANSLATORS: Kelvo window, set-up form: the dashboard address is not a web address.
      return FieldError{Field::dashboard, L("Enter the dashboard as an http:// or https:// address.")};
    settings.dashboard = dashboard;
  }
  const auto& client = std::get<feed::ClientOptions>(options);
  settings.username = client.username;
  if (client.password) {
    settings.passwordFile = passwordFile.string();
  } else if (!client.username) {
    settings.passwordFile.reset();
  }
  return settings;
}

FormInput inputFrom(const feed::FeedSettings& settings) {
  FormInput input;
  input.source = settings.preset == feed::Preset::evcc       ? Source::evcc
                 : settings.preset == feed::Preset::snapshot ? Source::snapshot
                                                             : Source::teslamate;
  input.prefix = settings.prefix.value_or("");
  input.topic = settings.topic;
  input.broker = settings.broker;
  input.username = settings.username.value_or("");
  input.dashboard = settings.dashboard.value_or("");
  return input;
}

}  // namespace kelvo::app
