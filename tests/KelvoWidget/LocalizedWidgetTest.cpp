// The widget in German and mirrored in Arabic, through the real catalogs,
// ICU's data and fonts.

#include <gtest/gtest.h>

#include <cmath>

#include "Catalogs.h"
#include "KelvoShared/CarFormat.h"
#include "LocaleEnvironment.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using kelvo::testing::LocaleEnvironment;
using testing::Json;

// The charging car's large widget in a language.
Json largeWidget(const char* language, const char* posixLocale, const char* icuLocale) {
  const LocaleEnvironment use(language, posixLocale);
  return testing::dumpSnapshot(testing::chargingSnapshot(),
                               testing::environmentFor(ui::WidgetFamily::systemLarge, icuLocale));
}

Json child(const Json& node, size_t index) {
  return node.value("children", Json::array()).size() > index ? node["children"][index] : Json::object();
}

// Where a node sits across its reference (the content, or the bar's track).
enum class Side { left, right, leftHalf, rightHalf };
bool sits(const Json& node, const Json& reference, Side side) {
  const Json &n = node.contains("frame") ? node["frame"] : node,
             &r = reference.contains("frame") ? reference["frame"] : reference;
  const double x = n.value("x", 0.0), maxX = x + n.value("width", 0.0), left = r.value("x", 0.0),
               right = left + r.value("width", 0.0), middle = (left + right) / 2;
  return side == Side::left       ? std::abs(x - left) < 0.5
         : side == Side::right    ? std::abs(maxX - right) < 0.5
         : side == Side::leftHalf ? maxX <= middle
                                  : x >= middle;
}

TEST(LocalizedWidget, LargeLayoutInGermanAndMirroredInArabic) {
  const Json german = largeWidget("de", "de_DE.UTF-8", "de_DE"),
             arabic = largeWidget("ar", "ar_EG.UTF-8", "ar_EG");
  EXPECT_EQ(testing::texts(german),
            (std::vector<std::string>{"Polestar 4 · 2026", "Lädt", "64%", "318 km", "Voll in", "1h35m",
                                      "Leistung", "7,4 kW", "Ladekabel", "Verbunden", "Kilometerstand",
                                      "23.412 km", "Aktualisiert", "vor 10 Min."}));
  EXPECT_TRUE(!german.contains("layoutDirection") && arabic.value("layoutDirection", "") == "rightToLeft");

  using Find = std::function<Json(const Json&)>;
  const Find content = [](const Json& root) { return root["contentFrame"]; };
  const Find statusLabel = [](const Json& root) { return testing::namedView(root, "StatusLabel"); };
  const Find track = [](const Json& root) {
    return testing::ofType(testing::namedView(root, "BatteryBar"), "Capsule")[0];
  };
  const Find fill = [](const Json& root) {
    return testing::ofType(testing::namedView(root, "BatteryBar"), "Capsule")[1];
  };
  const auto field = [](size_t index) {
    return Find([index](const Json& root) {
      const auto fields =
          testing::findAll(root, [](const Json& n) { return n.value("view", "") == "Field"; });
      return fields.size() > index ? fields[index] : Json::object();
    });
  };
  // The footer: the stack around the relative time with the "Updated" label.
  const Find footer = [](const Json& root) {
    const auto found = testing::findAll(root, [](const Json& n) {
      return n.value("type", "") == "HStack" && child(n, 1).contains("relativeTime");
    });
    return found.empty() ? Json::object() : found.back();
  };
  const Find title = [](const Json& root) { return testing::ofType(root, "Text").front(); };
  // clang-format off
  const std::tuple<const char*, Find, Find, Side, Side> rules[] = {
      {"title", title, content, Side::left, Side::right}, {"status label", statusLabel, content, Side::right, Side::left},
      {"bar fill", fill, track, Side::left, Side::right}, {"first field (full in)", field(0), content, Side::left, Side::right},
      {"second field (power)", field(1), content, Side::rightHalf, Side::leftHalf},
      {"third field (charger)", field(2), content, Side::left, Side::right}, {"footer", footer, content, Side::left, Side::right}};
  // clang-format on
  for (const auto& [what, node, reference, leftToRight, rightToLeft] : rules) {
    EXPECT_TRUE(sits(node(german), reference(german), leftToRight)) << "de: " << what;
    EXPECT_TRUE(sits(node(arabic), reference(arabic), rightToLeft)) << "ar: " << what;
  }
  // Reading order holds: the symbol before the status, the label before the
  // age; right to left, "before" is further right.
  for (const Find& container : {statusLabel, footer}) {
    EXPECT_LT(child(container(german), 0)["frame"]["x"], child(container(german), 1)["frame"]["x"]);
    EXPECT_GT(child(container(arabic), 0)["frame"]["x"], child(container(arabic), 1)["frame"]["x"]);
  }
  // The symbol is drawn as it is, not mirrored; the fill stands for the same charge.
  EXPECT_EQ(child(statusLabel(arabic), 0)["glyph"], child(statusLabel(german), 0)["glyph"]);
  EXPECT_EQ(fill(arabic)["frame"]["width"], fill(german)["frame"]["width"]);
  // Texts from the Arabic catalog, numbers and ages from ICU's Arabic data.
  EXPECT_EQ(testing::texts(statusLabel(arabic)), std::vector<std::string>{"جارٍ الشحن"});
  EXPECT_EQ(testing::texts(footer(arabic)), (std::vector<std::string>{"آخر تحديث", "قبل ١٠ دقائق"}));
}

TEST(LocalizedWidget, NothingPolledYetIsTranslatedButFailuresAreNot) {
  const LocaleEnvironment use("de", "de_DE.UTF-8");
  const ui::Environment german = testing::environmentFor(ui::WidgetFamily::systemSmall, "de_DE");
  EXPECT_EQ(testing::texts(testing::dumpProblem(std::nullopt, german)),
            (std::vector<std::string>{"Noch keine Daten", "Öffne Kelvo, um dich anzumelden"}));
  EXPECT_EQ(testing::texts(testing::dumpProblem(WidgetProblem{WidgetProblem::NoContainer{}}, german)),
            (std::vector<std::string>{"No container", "The App Group didn't resolve"}));
}

// However long the status and the age read in a language, every face shows
// the age whole: it is what says the data is stale.
TEST(LocalizedWidget, EveryFaceShowsTheWholeAgeInEveryLanguage) {
  std::vector<std::string> languages = kelvo::testing::catalogLanguages();
  languages.insert(languages.begin(), "en");
  for (const std::string& language : languages) {
    const LocaleEnvironment use(language.c_str(), "C.UTF-8");
    std::string longest = "IDLE";  // the status that reads longest here, then a much longer one
    for (const char* key :
         {"CHARGING", "DONE", "DISCHARGING", "ERROR", "FAULT", "SCHEDULED", "SMART_CHARGING"})
      if (CarFormat::humanStatus(key).size() > CarFormat::humanStatus(longest).size()) longest = key;
    for (const std::string& status : {longest, std::string(200, 'W')}) {
      for (const auto family :
           {ui::WidgetFamily::systemSmall, ui::WidgetFamily::systemMedium, ui::WidgetFamily::systemLarge}) {
        WidgetSnapshot snapshot = testing::chargingSnapshot();
        snapshot.statusKey = status;
        snapshot.carReportedAt = Date{testing::kNow.secondsSince1970 - 300 * 86400};  // "9 months ago"
        const auto ages = testing::findAll(
            testing::dumpSnapshot(snapshot, testing::environmentFor(family, language.c_str())),
            [](const Json& n) { return n.contains("relativeTime"); });
        ASSERT_EQ(ages.size(), 1u) << language;
        EXPECT_TRUE(ages[0]["truncated"] == false && ages[0]["frame"]["width"] > 0)
            << language << " " << ui::toString(family) << " " << status << ages[0];
      }
    }
  }
}

}  // namespace
}  // namespace kelvo::widget
