// The JSON view tree of a few compositions, compared with reviewed snapshots
// in tests/data/KelvoUI. Set KELVO_UPDATE_SNAPSHOTS=1 to rewrite them after
// a reviewed change.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/Layout.h"
#include "KelvoUI/WidgetRenderer.h"

namespace kelvo::ui {
namespace {

constexpr double now = 1'780'000'000;

Environment environment(WidgetFamily family) {
  Environment env;
  env.widgetFamily = family;
  env.now = now;
  return env;
}

void expectSnapshot(const std::string& name, const nlohmann::json& actual) {
  const char* dir = std::getenv("KELVO_TEST_DATA");
  const std::string path = std::string(dir ? dir : "tests/data") + "/KelvoUI/" + name + ".json";
  const std::string text = actual.dump(2) + "\n";
  if (std::getenv("KELVO_UPDATE_SNAPSHOTS")) {
    std::ofstream(path) << text;
    return;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << "no snapshot at " << path << "; run with KELVO_UPDATE_SNAPSHOTS=1 and review it";
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(expected.str(), text) << "the tree of " << name << " changed; review it and update the snapshot";
}

FixedAdvanceTextMeasurer measurer;

struct Row : ViewModifiers<Row> {
  static constexpr const char* name = "StatusRow";
  explicit Row(std::string status) : status(std::move(status)) {}
  std::string status;
  View body() const {
    return HStack({.alignment = VerticalAlignment::center, .spacing = 4},
                  {Label(status, {.systemName = "bolt.fill"})
                       .labelStyle(LabelStyle::titleAndIcon)
                       .font(Font::caption)
                       .foregroundStyle(Color::green),
                   Spacer(0),
                   Text(now - 480, RelativeUnitsStyle::narrow)
                       .font(Font::caption2)
                       .foregroundStyle(ShapeStyle::tertiary)
                       .lineLimit(1)});
  }
};

// Both the grid's item and its cell view.
struct Cell {
  static constexpr const char* name = "Cell";
  std::string key, value;
  std::string id() const { return key; }
  View body() const {
    return VStack({.alignment = HorizontalAlignment::leading, .spacing = 1},
                  {Text(key).font(Font::caption2).foregroundStyle(ShapeStyle::tertiary),
                   Text(value).font(Font::callout).fontWeight(FontWeight::medium)});
  }
};

struct Panel {
  static constexpr const char* name = "Panel";
  View body(const Environment& env) const {
    const std::vector<Cell> cells{{"Full in", "45m"}, {"Power", "7.4 kW"}, {"Charger", "Connected"}};
    return VStack({.alignment = HorizontalAlignment::leading, .spacing = 8},
                  {HStack({.alignment = VerticalAlignment::firstTextBaseline},
                          {Text(env.widgetFamily == WidgetFamily::systemLarge ? "Large panel" : "Panel")
                               .font(Font::headline)
                               .lineLimit(1),
                           Spacer(8), Row("Charging")}),
                   GeometryReader([](const GeometryProxy& geo) {
                     return ZStack({.alignment = Alignment::leading},
                                   {Capsule().fill(ShapeStyle::quaternary),
                                    Capsule().fill(Color::orange).frame({.width = geo.size.width * 0.25})});
                   })
                       .frame({.height = 6})
                       .accessibilityHidden(true),
                   LazyVGrid({.columns = {GridItem{.alignment = Alignment::leading},
                                          GridItem{.alignment = Alignment::leading}},
                              .alignment = HorizontalAlignment::leading,
                              .spacing = 8},
                             {ForEach(cells, [](const Cell& c) { return c; })}),
                   Spacer(0), Image({.systemName = "car.side"})})
        .frame({.maxWidth = infinity, .maxHeight = infinity, .alignment = Alignment::topLeading});
  }
};

TEST(TreeDump, NamedPanelWithGridAndGeometryReaderOnTheModernHost) {
  const View content = View(Panel{}).widgetURL("kelvo://open").containerBackground(ShapeStyle::fill.tertiary);
  expectSnapshot("panel-large",
                 dumpWidget(layoutWidget(content, environment(WidgetFamily::systemLarge), measurer)));
}

// Every node of `rtl` is the node of `ltr` mirrored across the widget's
// width: same size and height, x reflected; pictures' drawn rects too.
void expectMirrored(const nlohmann::json& ltr, const nlohmann::json& rtl, double width,
                    const std::string& path) {
  ASSERT_EQ(ltr.value("type", ""), rtl.value("type", "")) << path;
  const auto& a = ltr["frame"];
  const auto& b = rtl["frame"];
  const std::string at = path + "/" + ltr.value("type", "");
  EXPECT_NEAR(b["x"].get<double>(), width - a["x"].get<double>() - a["width"].get<double>(), 0.02) << at;
  for (const char* key : {"y", "width", "height"}) EXPECT_EQ(a[key], b[key]) << at << " " << key;
  EXPECT_EQ(ltr.value("text", ""), rtl.value("text", "")) << at;
  EXPECT_EQ(ltr.value("glyph", nlohmann::json()), rtl.value("glyph", nlohmann::json())) << at;
  ASSERT_EQ(ltr.contains("children"), rtl.contains("children")) << at;
  if (!ltr.contains("children")) return;
  ASSERT_EQ(ltr["children"].size(), rtl["children"].size()) << at;
  for (size_t i = 0; i < ltr["children"].size(); ++i)
    expectMirrored(ltr["children"][i], rtl["children"][i], width, at + "[" + std::to_string(i) + "]");
}

TEST(TreeDump, RightToLeftIsTheLeftToRightLayoutMirrored) {
  // Uneven padding and a trailing frame, so that nothing is symmetric by luck.
  const View content = View(Panel{})
                           .padding(Edges::leading, 12)
                           .frame({.maxWidth = 300, .alignment = Alignment::trailing})
                           .containerBackground(ShapeStyle::fill.tertiary);
  for (const WidgetFamily family : {WidgetFamily::systemMedium, WidgetFamily::systemLarge}) {
    Environment env = environment(family);
    const nlohmann::json ltr = dumpWidget(layoutWidget(content, env, measurer));
    env.layoutDirection = LayoutDirection::rightToLeft;
    const nlohmann::json rtl = dumpWidget(layoutWidget(content, env, measurer));
    EXPECT_FALSE(ltr.contains("layoutDirection"));
    EXPECT_EQ(rtl.value("layoutDirection", ""), "rightToLeft");
    expectMirrored(ltr["root"], rtl["root"], widgetSize(family).width, toString(family));
  }
}

TEST(TreeDump, LayoutDirectionFollowsTheScriptOfTheLanguage) {
  // The script decides, not the language: Azerbaijani in Arabic script runs right to left.
  for (const char* language : {"ar", "ar_EG", "he", "he_IL", "fa", "az_Arab"})
    EXPECT_EQ(layoutDirectionFor(icu::Locale(language)), LayoutDirection::rightToLeft) << language;
  for (const char* language : {"en", "de_DE", "ja", "zh_CN", "az", ""})
    EXPECT_EQ(layoutDirectionFor(icu::Locale(language)), LayoutDirection::leftToRight) << language;
}

}  // namespace
}  // namespace kelvo::ui
