// kelvo-widget: the widget host. Answers the host's requests for the Kelvo
// widget on the command line; each command is defined in its own file and
// registered here (see Commands.h).

#include <iostream>
#include <string>

#include "Commands.h"
#include "Drawing.h"
#include "KelvoShared/Localization.h"

int main(int argc, char** argv) {
  kelvo::initLocale();  // setlocale(LC_ALL, ""): texts and numbers follow the environment

  CLI::App app{"The Kelvo widget host: answers the widget's requests and draws its entries.", "kelvo-widget"};
  app.require_subcommand(1);
  kelvo::host::Action action;
  kelvo::host::addInfoCommand(app, action);
  kelvo::host::addRequestCommands(app, action);
  kelvo::host::addRenderCommand(app, action);
  kelvo::host::addRunCommand(app, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string reason = e.what();
    if (const auto extras = app.remaining(); !extras.empty() && app.get_subcommands().empty()) {
      reason = "unknown command \"" + extras.front() + "\"";
    }
    for (char& c : reason) {
      if (c == '\n') c = ' ';
    }
    std::cerr << "kelvo-widget: " << reason << " (see kelvo-widget --help)\n";
    return kelvo::host::kExitUsage;
  }
  return action ? action() : kelvo::host::kExitUsage;
}
