// The set-up form's rules: which field a wrong entry or a failed login
// points at, and what Save writes over the settings already saved.

#include <gtest/gtest.h>

#include "SetupForm.h"

namespace {

using namespace kelvo::app;
using kelvo::feed::DiscoveryFault;

TEST(SetupForm, EachProblemPointsAtItsField) {
  // clang-format off
  struct Case { const char* broker; const char* user; const char* password; std::optional<Field> field; };
  for (const Case& c : {Case{"", "", "", std::nullopt}, {"mqtts://b.lan", "kelvo", "pw", std::nullopt},
           {"http://b.lan", "", "", Field::broker}, {"mqtt://b.lan", "", "pw", Field::username},
           {"mqtt://b.lan", "kelvo", "p\nw", Field::password}}) {
    const auto options = connectOptions({Source::teslamate, "", "", c.broker, c.user, c.password, ""});
    const auto* error = std::get_if<FieldError>(&options);
    EXPECT_EQ(error ? std::optional(error->field) : std::nullopt, c.field) << c.broker << " " << c.password;
  }
  for (const auto& [fault, field] : {std::pair{DiscoveryFault::broker, Field::broker}, {DiscoveryFault::login, Field::password},
           {DiscoveryFault::certificate, Field::broker}, {DiscoveryFault::setup, Field::broker}})
    EXPECT_EQ(explain({fault, ""}).field, field);
  // clang-format on
}

TEST(SetupForm, SaveTakesThePickedCarAndKeepsWhatTheFormDoesNotShow) {
  kelvo::feed::FeedSettings saved;
  saved.cafile = "/etc/ca.pem";
  saved.unit = "mi";
  saved.username = "kelvo";
  saved.passwordFile = "/old/pw";
  saved.prefix = "old";
  const kelvo::feed::FoundCar evcc{"evcc", "home/evcc", "2", "e-Golf", 23};
  FormInput input{Source::teslamate, "", "", "mqtts://b.lan", "kelvo", "", ""};
  auto kept = std::get<kelvo::feed::FeedSettings>(settingsFor(input, evcc, "/new/pw", saved));
  EXPECT_EQ(kept.preset, kelvo::feed::Preset::evcc);
  EXPECT_EQ(std::tie(kept.car, *kept.prefix, *kept.cafile, *kept.unit, *kept.passwordFile),
            std::tie("2", "home/evcc", "/etc/ca.pem", "mi", "/old/pw"));
  input.password = "typed";
  EXPECT_EQ(*std::get<kelvo::feed::FeedSettings>(settingsFor(input, evcc, "/new/pw", saved)).passwordFile,
            "/new/pw");
  input.username = "";
  input.password = "";
  EXPECT_FALSE(std::get<kelvo::feed::FeedSettings>(settingsFor(input, evcc, "/new/pw", saved)).passwordFile);
  EXPECT_EQ(std::get<FieldError>(settingsFor(input, std::nullopt, "/new/pw", saved)).field, Field::car);
  input.dashboard = "ftp://x";
  EXPECT_EQ(std::get<FieldError>(settingsFor(input, evcc, "/new/pw", saved)).field, Field::dashboard);
}

}  // namespace
