#pragma once

// Lays out the widget's views with real fonts and answers questions about
// the JSON view tree, so tests read like "the StatusLabel's symbol is ...".

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoUI/Environment.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::widget::testing {

using Json = nlohmann::json;

// 2026-12-06T12:00:00Z: the fixed "now" of the view tests.
inline constexpr double kNow = 1796558400;

// A plain, not charging snapshot written 8 minutes before kNow.
WidgetSnapshot sampleSnapshot();

// The environment of a modern host in English (United States) at kNow.
ui::Environment environmentFor(ui::WidgetFamily family);

// The whole widget's dump for an entry, drawn through the widget's content.
Json dumpEntry(const CarEntry& entry, const ui::Environment& environment);
Json dumpEntry(const CarEntry& entry, ui::WidgetFamily family);
Json dumpSnapshot(const WidgetSnapshot& snapshot, ui::WidgetFamily family);

// Every node under `root` (itself included) that satisfies `match`, in
// depth-first order.
std::vector<Json> findAll(const Json& root, const std::function<bool(const Json&)>& match);
// The one node that begins the named view's body; fails the test when there
// is not exactly one.
Json namedView(const Json& root, const std::string& viewName);
// The texts of every Text node under `root`, in order.
std::vector<std::string> texts(const Json& root);
// The node of the Text that shows `text`; fails the test when there is none.
Json textNode(const Json& root, const std::string& text);

// A picture of the given pixel size.
ui::Bitmap solidBitmap(int width, int height);

}  // namespace kelvo::widget::testing
