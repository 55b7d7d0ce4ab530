// kelvo-widget: the widget host. Answers the host's requests for the Kelvo
// widget on the command line; each command is defined in its own file and
// registered here (see Commands.h).

#include <iostream>
#include <string>

#include "Commands.h"
#include "Drawing.h"
#include "KelvoShared/Localization.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "ParseCommandLine.h"
#include "StandardStreams.h"

int main(int argc, char** argv) {
  kelvo::apps::prepareProcess();
  kelvo::initLocale();  // setlocale(LC_ALL, ""): texts and numbers follow the environment
  // The font setup takes longer than everything a drawing command does
  // before its first text, so it starts now, on a thread of its own.
  if (argc > 1 && kelvo::host::drawsWidgets(argv[1])) kelvo::ui::PangoTextMeasurer::prepare();

  CLI::App app{"The Kelvo widget host: answers the widget's requests and draws its entries.", "kelvo-widget"};
  app.require_subcommand(1);
  kelvo::host::Action action;
  kelvo::host::addInfoCommand(app, action);
  kelvo::host::addRequestCommands(app, action);
  kelvo::host::addRenderCommand(app, action);
  kelvo::host::addRunCommand(app, action);
  kelvo::host::addStatusCommand(app, action);
  kelvo::host::addServeCommand(app, action);

  const std::optional<int> parsed = kelvo::apps::parseCommandLine(app, argc, argv);
  const int status = parsed ? *parsed : action ? action() : kelvo::apps::kExitUsage;
  return kelvo::apps::finishStandardOutput("kelvo-widget", status);
}
