#include <iostream>

#include "Commands.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace kelvo::host {

Json entryJson(const widget::CarEntry& entry) {
  Json json = Json::object();
  json["date"] = formatInternetDateTimeMillis(entry.date);
  json["snapshot"] = nullptr;
  if (entry.snapshot) {
    // The snapshot in its own JSON form, as snapshot.json holds it. Snapshots
    // the provider hands out always encode (they came from JSON or are the
    // sample car); should one not, the entry says so rather than show null.
    const Result<std::string> text = encodeSnapshot(*entry.snapshot);
    if (text) {
      json["snapshot"] = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
    } else {
      json["snapshot"] = Json{{"error", text.error().message}};
    }
  }
  json["carImage"] = nullptr;
  if (entry.carImage)
    json["carImage"] = Json{{"width", entry.carImage->width}, {"height", entry.carImage->height}};
  json["problem"] = nullptr;
  if (entry.problem) {
    Json problem{{"case", std::string(entry.problem->caseName())}};
    if (const std::string* message = entry.problem->message()) problem["message"] = *message;
    json["problem"] = std::move(problem);
  }
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
