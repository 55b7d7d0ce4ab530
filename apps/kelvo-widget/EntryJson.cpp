#include <iostream>

#include "Commands.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::host {

namespace {

// The snapshot in its own JSON form, as snapshot.json holds it. Snapshots the
// provider hands out always encode (they came from JSON or are the sample
// car); should one not, the entry says so rather than show null.
Json snapshotJson(const WidgetSnapshot& snapshot) {
  const Result<std::string> text = encodeSnapshot(snapshot);
  if (!text) return Json{{"error", text.error().message}};
  return Json::parse(*text, nullptr, /*allow_exceptions=*/false);
}

Json problemJson(const widget::WidgetProblem& problem) {
  Json json{{"case", std::string(problem.caseName())}};
  if (const std::string* message = problem.message()) json["message"] = *message;
  return json;
}

}  // namespace

Json entryJson(const widget::CarEntry& entry) {
  const WidgetSnapshot* snapshot = entry.snapshot();
  const ui::Bitmap* carImage = entry.carImage();
  const widget::WidgetProblem* problem = entry.problem();
  Json json = Json::object();
  json["date"] = formatInternetDateTimeMillis(entry.date);
  json["snapshot"] = snapshot ? snapshotJson(*snapshot) : Json();
  json["carImage"] = carImage ? Json{{"width", carImage->width}, {"height", carImage->height}} : Json();
  json["problem"] = problem ? problemJson(*problem) : Json();
  return json;
}

Json timelineJson(const widget::Timeline& timeline) {
  Json entries = Json::array();
  for (const widget::CarEntry& entry : timeline.entries) entries.push_back(entryJson(entry));
  Json json = Json::object();
  json["entries"] = std::move(entries);
  json["policy"] = Json{{"after", formatInternetDateTimeMillis(timeline.policy.date)}};
  return json;
}

void printJson(const Json& json) {
  std::cout << json.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace kelvo::host
