// kelvo-widget: the widget host. Answers the host's requests for the Kelvo
// widget on the command line; each command is defined in its own file and
// registered here (see Commands.h).

#include <iostream>
#include <string>

#include "Commands.h"
#include "Drawing.h"
#include "KelvoShared/Localization.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "Options.h"
#include "StandardStreams.h"

int main(int argc, char** argv) {
  kelvo::apps::prepareProcess();
  kelvo::initLocale();  // setlocale(LC_ALL, ""): texts and numbers follow the environment
  // The font setup takes longer than everything a drawing command does
  // before its first text, so it starts now, on a thread of its own.
  if (argc > 1 && kelvo::host::drawsWidgets(argv[1])) kelvo::ui::PangoTextMeasurer::prepare();

  kelvo::host::WidgetCommandLine options;
  const kelvo::apps::Program program = kelvo::host::widgetProgram(options);
  const kelvo::apps::Parsed parsed = kelvo::apps::parseCommandLine(program, argc, argv);
  if (parsed.exit) return kelvo::apps::finishStandardOutput("kelvo-widget", *parsed.exit);
  kelvo::apps::applyGiven(parsed);
  using Command = int (*)(const kelvo::host::WidgetCommandLine&);
  const std::pair<const char*, Command> commands[] = {
      {"info", kelvo::host::infoCommand},         {"placeholder", kelvo::host::placeholderCommand},
      {"snapshot", kelvo::host::snapshotCommand}, {"timeline", kelvo::host::timelineCommand},
      {"render", kelvo::host::renderCommand},     {"run", kelvo::host::runCommand},
      {"status", kelvo::host::statusCommand},     {"serve", kelvo::host::serveCommand},
  };
  int status = kelvo::apps::kExitUsage;
  for (const auto& [name, command] : commands) {
    if (parsed.command == name) status = command(options);
  }
  return kelvo::apps::finishStandardOutput("kelvo-widget", status);
}
