#include <memory>

#include "Commands.h"

namespace kelvo::host {

void addRequestCommands(CLI::App& app, Action& action) {
  // Options live as long as the App, which outlives parsing and the action.
  auto placeholder = std::make_shared<RequestOptions>();
  CLI::App* placeholderCommand =
      app.add_subcommand("placeholder", "Print the placeholder entry (the sample car) as JSON");
  addRequestOptions(*placeholderCommand, *placeholder);
  placeholderCommand->callback([&action, placeholder] {
    action = [placeholder] {
      const widget::TimelineProviderContext context{placeholder->widgetFamily(), false};
      printJson(entryJson(placeholder->provider().placeholder(context)));
      return apps::kExitOk;
    };
  });

  auto snapshot = std::make_shared<RequestOptions>();
  auto preview = std::make_shared<bool>(false);
  CLI::App* snapshotCommand =
      app.add_subcommand("snapshot", "Print the entry for a one-off snapshot as JSON");
  addRequestOptions(*snapshotCommand, *snapshot);
  snapshotCommand->add_flag("--preview", *preview,
                            "Ask as the widget gallery does (no data shows the sample car)");
  snapshotCommand->callback([&action, snapshot, preview] {
    action = [snapshot, preview] {
      const widget::TimelineProviderContext context{snapshot->widgetFamily(), *preview};
      printJson(entryJson(snapshot->provider().snapshot(context)));
      return apps::kExitOk;
    };
  });

  auto timeline = std::make_shared<RequestOptions>();
  CLI::App* timelineCommand =
      app.add_subcommand("timeline", "Print the timeline (one entry and when to reload) as JSON");
  addRequestOptions(*timelineCommand, *timeline);
  timelineCommand->callback([&action, timeline] {
    action = [timeline] {
      const widget::TimelineProviderContext context{timeline->widgetFamily(), false};
      printJson(timelineJson(timeline->provider().timeline(context)));
      return apps::kExitOk;
    };
  });
}

}  // namespace kelvo::host
