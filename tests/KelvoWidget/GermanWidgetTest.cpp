// The widget in German, through the real catalogs and ICU's German data.

#include <gtest/gtest.h>

#include <cstdlib>

#include "KelvoShared/Localization.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

class GermanWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("LANGUAGE", "de", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    initLocale();
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    initLocale();
  }

  static ui::Environment german(ui::WidgetFamily family) {
    ui::Environment environment = testing::environmentFor(family);
    environment.locale = icu::Locale("de", "DE");
    environment.relativeTimeLocale = environment.locale;
    return environment;
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(GermanWidget, LargeLayoutShowsGermanLabelsNumbersAndAge) {
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.statusKey = "CHARGING";
  snapshot.fullInMinutes = 95;
  snapshot.chargingPowerWatts = 7400;
  snapshot.isPluggedIn = true;
  snapshot.odometerKm = 23412;
  const testing::Json large =
      testing::dumpEntry(CarEntry{Date{testing::kNow}, snapshot}, german(ui::WidgetFamily::systemLarge));
  EXPECT_EQ(testing::texts(large),
            (std::vector<std::string>{"Kelvo", "Lädt", "80%", "412 km", "Voll in", "1h35m", "Leistung",
                                      "7,4 kW", "Ladekabel", "Verbunden", "Kilometerstand", "23.412 km",
                                      "Aktualisiert", "vor 8 Min."}));
}

TEST_F(GermanWidget, NothingPolledYetIsTranslatedButFailuresAreNot) {
  const testing::Json empty =
      testing::dumpEntry(CarEntry{Date{testing::kNow}, WidgetProblem{WidgetProblem::NothingPolledYet{}}},
                         german(ui::WidgetFamily::systemSmall));
  EXPECT_EQ(testing::texts(empty),
            (std::vector<std::string>{"Noch keine Daten", "Öffne Kelvo, um dich anzumelden"}));

  const testing::Json failed =
      testing::dumpEntry(CarEntry{Date{testing::kNow}, WidgetProblem{WidgetProblem::NoContainer{}}},
                         german(ui::WidgetFamily::systemSmall));
  EXPECT_EQ(testing::texts(failed),
            (std::vector<std::string>{"No container", "The App Group didn't resolve"}));
}

}  // namespace
}  // namespace kelvo::widget
