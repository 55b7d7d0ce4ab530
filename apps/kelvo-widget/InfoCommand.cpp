#include "Commands.h"
#include "KelvoWidget/KelvoWidgetBundle.h"

namespace kelvo::host {

void addInfoCommand(CLI::App& app, Action& action) {
  CLI::App* command = app.add_subcommand("info", "Print the widget's registration as JSON");
  command->callback([&action] {
    action = [] {
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
    };
  });
}

}  // namespace kelvo::host
