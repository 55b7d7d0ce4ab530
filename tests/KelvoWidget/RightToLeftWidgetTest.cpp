// The widget mirrored in a right-to-left language, through the real
// catalogs, ICU and fonts, next to the same widget in a left-to-right one.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "KelvoShared/Localization.h"
#include "KelvoUI/Environment.h"
#include "WidgetTree.h"

namespace kelvo::widget {
namespace {

using testing::Json;

// Puts the process into a language for one test and back afterwards.
class Language {
 public:
  Language(const char* language, const char* posixLocale) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("LANGUAGE", language, 1);
    setenv("LC_ALL", posixLocale, 1);
    initLocale();
  }
  ~Language() {
    for (const auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    initLocale();
  }
  Language(const Language&) = delete;
  Language& operator=(const Language&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

struct Box {
  double x = 0, width = 0;
  double maxX() const { return x + width; }
};
Box box(const Json& node) {
  const Json& f = node.contains("frame") ? node["frame"] : node;
  return {f.value("x", 0.0), f.value("width", 0.0)};
}

// Where a node sits across its reference (the content, or the bar's track).
enum class Side { left, right, leftHalf, rightHalf };
bool sits(Box node, Box reference, Side side) {
  switch (side) {
    case Side::left:
      return std::abs(node.x - reference.x) < 0.5;
    case Side::right:
      return std::abs(node.maxX() - reference.maxX()) < 0.5;
    case Side::leftHalf:
      return node.maxX() <= reference.x + reference.width / 2;
    case Side::rightHalf:
      return node.x >= reference.x + reference.width / 2;
  }
  return false;
}

// The charging car's large widget laid out in a language; the layout
// direction is derived the way the host derives it.
Json largeWidget(const char* language, const char* posixLocale, const char* icuLocale) {
  Language use(language, posixLocale);
  ui::Environment environment = testing::environmentFor(ui::WidgetFamily::systemLarge);
  environment.locale = icu::Locale(icuLocale);
  environment.relativeTimeLocale = environment.locale;
  environment.layoutDirection = ui::layoutDirectionFor(textLanguage());
  WidgetSnapshot snapshot = testing::sampleSnapshot();
  snapshot.statusKey = "CHARGING";
  snapshot.fullInMinutes = 95;
  snapshot.chargingPowerWatts = 7400;
  snapshot.isPluggedIn = true;
  snapshot.odometerKm = 23412;
  return testing::dumpEntry(CarEntry{Date{testing::kNow}, snapshot}, environment);
}

Json child(const Json& node, size_t index) {
  return node.contains("children") && node["children"].size() > index ? node["children"][index]
                                                                      : Json::object();
}

TEST(RightToLeftWidget, LargeLayoutMirrorsInArabicAndNotInGerman) {
  const Json german = largeWidget("de", "de_DE.UTF-8", "de_DE");
  const Json arabic = largeWidget("ar", "ar_EG.UTF-8", "ar_EG");
  EXPECT_FALSE(german.contains("layoutDirection"));
  EXPECT_EQ(arabic.value("layoutDirection", ""), "rightToLeft");

  struct Rule {
    const char* what;
    std::function<Json(const Json& root)> node;
    std::function<Json(const Json& root)> reference;  // null: the content frame
    Side leftToRight, rightToLeft;
  };
  const auto content = [](const Json& root) { return root["contentFrame"]; };
  const auto statusLabel = [](const Json& root) { return testing::namedView(root, "StatusLabel"); };
  const auto capsules = [](const Json& root) {
    return testing::findAll(testing::namedView(root, "BatteryBar"),
                            [](const Json& n) { return n.value("type", "") == "Capsule"; });
  };
  const auto field = [](size_t index) {
    return [index](const Json& root) {
      const auto fields =
          testing::findAll(root, [](const Json& n) { return n.value("view", "") == "Field"; });
      return fields.size() > index ? fields[index] : Json::object();
    };
  };
  // The footer: the stack around the relative time with the "Updated" label.
  const auto footer = [](const Json& root) {
    const auto found = testing::findAll(root, [](const Json& n) {
      return n.value("type", "") == "HStack" && child(n, 1).contains("relativeTime");
    });
    return found.empty() ? Json::object() : found.back();
  };
  const std::vector<Rule> rules = {
      {"title",
       [](const Json& root) {
         return testing::findAll(root, [](const Json& n) { return n.value("type", "") == "Text"; }).front();
       },
       content, Side::left, Side::right},
      {"status label", statusLabel, content, Side::right, Side::left},
      {"bar fill", [&](const Json& root) { return capsules(root).back(); },
       [&](const Json& root) { return capsules(root).front(); }, Side::left, Side::right},
      {"first field (full in)", field(0), content, Side::left, Side::right},
      {"second field (power)", field(1), content, Side::rightHalf, Side::leftHalf},
      {"third field (charger)", field(2), content, Side::left, Side::right},
      {"footer", footer, content, Side::left, Side::right},
  };
  for (const Rule& rule : rules) {
    EXPECT_TRUE(sits(box(rule.node(german)), box(rule.reference(german)), rule.leftToRight))
        << "de: " << rule.what;
    EXPECT_TRUE(sits(box(rule.node(arabic)), box(rule.reference(arabic)), rule.rightToLeft))
        << "ar: " << rule.what;
  }

  // Reading order holds: the symbol before the status, the label before the
  // age; right to left, "before" is further right.
  for (const auto& [what, container] : std::vector<std::pair<const char*, std::function<Json(const Json&)>>>{
           {"status label", statusLabel}, {"footer", footer}}) {
    EXPECT_LT(box(child(container(german), 0)).x, box(child(container(german), 1)).x) << "de: " << what;
    EXPECT_GT(box(child(container(arabic), 0)).x, box(child(container(arabic), 1)).x) << "ar: " << what;
  }
  // The symbol is drawn as it is, not mirrored.
  EXPECT_EQ(child(statusLabel(arabic), 0)["glyph"], child(statusLabel(german), 0)["glyph"]);
  // The bar's fill stands for the same charge either way.
  EXPECT_EQ(box(capsules(arabic).back()).width, box(capsules(german).back()).width);

  // Texts from the Arabic catalog, numbers and ages from ICU's Arabic data.
  EXPECT_EQ(testing::texts(statusLabel(arabic)), std::vector<std::string>{"جارٍ الشحن"});
  EXPECT_EQ(testing::texts(footer(arabic)), (std::vector<std::string>{"آخر تحديث", "قبل ٨ دقائق"}));
  EXPECT_EQ(testing::texts(footer(german)), (std::vector<std::string>{"Aktualisiert", "vor 8 Min."}));
}

}  // namespace
}  // namespace kelvo::widget
