#include "WidgetTree.h"

#include "KelvoShared/Localization.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::widget::testing {

ui::Environment environmentFor(ui::WidgetFamily family, const char* locale) {
  ui::Environment environment;
  environment.widgetFamily = family;
  environment.locale = locale ? icu::Locale(locale) : icu::Locale("en", "US");
  environment.relativeTimeLocale = environment.locale;
  if (locale) environment.layoutDirection = ui::layoutDirectionFor(textLanguage());
  environment.now = kNow.secondsSince1970;
  environment.timeZone.reset(icu::TimeZone::createTimeZone("UTC"));
  environment.host.contentMargin = kHostContentMargin;
  return environment;
}

namespace {
Json dump(const CarEntry& entry, const ui::Environment& environment) {
  const Result<ui::WidgetLayout> layout =
      ui::layoutWidget(KelvoCarWidget::entryContent()(entry), environment);
  EXPECT_TRUE(layout.ok()) << (layout.ok() ? "" : layout.error().message);
  return layout ? ui::dumpWidget(*layout) : Json::object();
}
}  // namespace

Result<ui::WidgetLayout> layoutSnapshot(const WidgetSnapshot& snapshot, const ui::Environment& environment) {
  return ui::layoutWidget(KelvoCarWidget::entryContent()(CarEntry{kNow, snapshot}), environment);
}

Json dumpSnapshot(const WidgetSnapshot& snapshot, const ui::Environment& environment,
                  std::optional<ui::Bitmap> picture) {
  return dump(CarEntry{kNow, snapshot, std::move(picture)}, environment);
}

Json dumpSnapshot(const WidgetSnapshot& snapshot, ui::WidgetFamily family,
                  std::optional<ui::Bitmap> picture) {
  return dumpSnapshot(snapshot, environmentFor(family), std::move(picture));
}

Json dumpProblem(std::optional<WidgetProblem> problem, const ui::Environment& environment) {
  return dump(CarEntry{kNow, problem.value_or(WidgetProblem{WidgetProblem::NothingPolledYet{}})},
              environment);
}

std::vector<Json> findAll(const Json& root, const std::function<bool(const Json&)>& match) {
  std::vector<Json> found;
  std::function<void(const Json&)> walk = [&](const Json& node) {
    if (!node.is_object()) return;
    if (match(node)) found.push_back(node);
    if (node.contains("root")) walk(node["root"]);
    for (const Json& child : node.value("children", Json::array())) walk(child);
  };
  walk(root);
  return found;
}

std::vector<Json> ofType(const Json& root, const std::string& type) {
  return findAll(root, [&](const Json& n) { return n.value("type", "") == type; });
}

Json namedView(const Json& root, const std::string& viewName) {
  const std::vector<Json> found =
      findAll(root, [&](const Json& node) { return node.value("view", "") == viewName; });
  EXPECT_EQ(found.size(), 1u) << "views named " << viewName;
  return found.empty() ? Json::object() : found.front();
}

std::vector<std::string> texts(const Json& root) {
  std::vector<std::string> result;
  for (const Json& node : ofType(root, "Text")) result.push_back(node.value("text", ""));
  return result;
}

Json textNode(const Json& root, const std::string& text) {
  const std::vector<Json> found = findAll(
      root, [&](const Json& n) { return n.value("type", "") == "Text" && n.value("text", "") == text; });
  EXPECT_FALSE(found.empty()) << "no Text \"" << text << "\"";
  return found.empty() ? Json::object() : found.front();
}

std::vector<Json> pictures(const Json& root) {
  return findAll(root,
                 [](const Json& n) { return n.value("type", "") == "Image" && !n.contains("systemName"); });
}

ui::Bitmap solidBitmap(int width, int height) {
  return ui::Bitmap{
      width, height,
      std::make_shared<std::vector<std::uint32_t>>(static_cast<std::size_t>(width) * height, 0xff3366ccu)};
}

}  // namespace kelvo::widget::testing
