#pragma once

// Lays out the widget's views with real fonts and answers questions about
// the JSON view tree, so tests read like "the StatusLabel's symbol is ...".
// Entries are built here only, at kNow.

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KelvoUI/Environment.h"
#include "KelvoUI/WidgetRenderer.h"
#include "KelvoWidget/CarEntry.h"
#include "SampleSnapshot.h"

namespace kelvo::widget::testing {

using Json = nlohmann::json;
using kelvo::testing::kNow;
using kelvo::testing::sampleSnapshot;

// The environment of a modern host at kNow, in English (United States) or,
// with `locale`, in that locale and the layout direction of the process's
// text language (set it with LocaleEnvironment).
ui::Environment environmentFor(ui::WidgetFamily family, const char* locale = nullptr);

// The widget laid out for the snapshot, through the widget's content.
Result<ui::WidgetLayout> layoutSnapshot(const WidgetSnapshot& snapshot, const ui::Environment& environment);
// The whole widget's dump for an entry, drawn through the widget's content.
Json dumpSnapshot(const WidgetSnapshot& snapshot, const ui::Environment& environment,
                  std::optional<ui::Bitmap> picture = std::nullopt);
Json dumpSnapshot(const WidgetSnapshot& snapshot, ui::WidgetFamily family,
                  std::optional<ui::Bitmap> picture = std::nullopt);
// An entry without a snapshot.
Json dumpProblem(std::optional<WidgetProblem> problem, const ui::Environment& environment);

// Every node under `root` (itself included) that satisfies `match`, in
// depth-first order.
std::vector<Json> findAll(const Json& root, const std::function<bool(const Json&)>& match);
std::vector<Json> ofType(const Json& root, const std::string& type);
// The one node that begins the named view's body; fails the test when there
// is not exactly one.
Json namedView(const Json& root, const std::string& viewName);
// The texts of every Text node under `root`, in order.
std::vector<std::string> texts(const Json& root);
// The node of the Text that shows `text`; fails the test when there is none.
Json textNode(const Json& root, const std::string& text);
// The pictures drawn (Image nodes without a symbol).
std::vector<Json> pictures(const Json& root);

// sampleSnapshot() with every field of the large layout's grid.
inline WidgetSnapshot chargingSnapshot() {
  WidgetSnapshot snapshot = sampleSnapshot();
  snapshot.fullInMinutes = 95;
  snapshot.chargingPowerWatts = 7400;
  snapshot.odometerKm = 23412;
  return snapshot;
}

// A picture of the given pixel size.
ui::Bitmap solidBitmap(int width, int height);

}  // namespace kelvo::widget::testing
