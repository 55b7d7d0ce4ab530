#include "WidgetTree.h"

#include "KelvoUI/WidgetRenderer.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::widget::testing {

WidgetSnapshot sampleSnapshot() {
  WidgetSnapshot snapshot;
  snapshot.batteryPercentage = 80;
  snapshot.rangeKm = 412;
  snapshot.statusKey = "IDLE";
  snapshot.isDriving = false;
  snapshot.writtenAt = Date{kNow - 480};
  snapshot.unit = DistanceUnit::kilometers;
  return snapshot;
}

ui::Environment environmentFor(ui::WidgetFamily family) {
  ui::Environment environment;
  environment.widgetFamily = family;
  environment.locale = icu::Locale("en", "US");
  environment.now = kNow;
  environment.timeZone.reset(icu::TimeZone::createTimeZone("UTC"));
  return environment;
}

Json dumpEntry(const CarEntry& entry, const ui::Environment& environment) {
  const Result<ui::WidgetLayout> layout =
      ui::layoutWidget(KelvoCarWidget::entryContent()(entry), environment);
  EXPECT_TRUE(layout.ok()) << (layout.ok() ? "" : layout.error().message);
  if (!layout) return Json::object();
  return ui::dumpWidget(*layout);
}

Json dumpEntry(const CarEntry& entry, ui::WidgetFamily family) {
  return dumpEntry(entry, environmentFor(family));
}

Json dumpSnapshot(const WidgetSnapshot& snapshot, ui::WidgetFamily family) {
  return dumpEntry(CarEntry{Date{kNow}, snapshot}, family);
}

std::vector<Json> findAll(const Json& root, const std::function<bool(const Json&)>& match) {
  std::vector<Json> found;
  std::function<void(const Json&)> walk = [&](const Json& node) {
    if (!node.is_object()) return;
    if (match(node)) found.push_back(node);
    if (node.contains("root")) walk(node["root"]);
    if (node.contains("children")) {
      for (const Json& child : node["children"]) walk(child);
    }
  };
  walk(root);
  return found;
}

Json namedView(const Json& root, const std::string& viewName) {
  const std::vector<Json> found =
      findAll(root, [&](const Json& node) { return node.value("view", "") == viewName; });
  EXPECT_EQ(found.size(), 1u) << "views named " << viewName;
  return found.empty() ? Json::object() : found.front();
}

std::vector<std::string> texts(const Json& root) {
  std::vector<std::string> result;
  for (const Json& node : findAll(root, [](const Json& n) { return n.value("type", "") == "Text"; })) {
    result.push_back(node.value("text", ""));
  }
  return result;
}

Json textNode(const Json& root, const std::string& text) {
  const std::vector<Json> found = findAll(root, [&](const Json& node) {
    return node.value("type", "") == "Text" && node.value("text", "") == text;
  });
  EXPECT_FALSE(found.empty()) << "no Text \"" << text << "\"";
  return found.empty() ? Json::object() : found.front();
}

ui::Bitmap solidBitmap(int width, int height) {
  auto pixels =
      std::make_shared<std::vector<std::uint32_t>>(static_cast<std::size_t>(width) * height, 0xff3366ccu);
  return ui::Bitmap{width, height, std::move(pixels)};
}

}  // namespace kelvo::widget::testing
