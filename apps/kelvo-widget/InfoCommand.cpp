#include "Commands.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::host {

int infoCommand(const WidgetCommandLine&) {
  for (const widget::StaticConfiguration& widget : widget::KelvoWidgetBundle::body()) {
    Json families = Json::array();
    for (ui::WidgetFamily family : widget.supportedFamilies) families.push_back(ui::toString(family));
    Json json = Json::object();
    json["kind"] = widget.kind;
    json["displayName"] = widget.configurationDisplayName;
    json["description"] = widget.description;
    json["supportedFamilies"] = std::move(families);
    printJson(json);
  }
  return apps::kExitOk;
}

}  // namespace kelvo::host
