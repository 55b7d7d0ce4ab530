// kelvo-desktop: the Kelvo widget on the desktop. Settings come from the
// command line over desktop.ini over the defaults (DesktopSettings.h); the
// window and everything that keeps it current live in DesktopHost.

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <iostream>

#include "DesktopHost.h"
#include "DesktopSettings.h"
#include "DisplayLoss.h"
#include "ExitCodes.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/LogText.h"
#include "Options.h"

namespace {

gboolean quit(gpointer) {
  gtk_main_quit();
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::initLocale();

  kelvo::desktop::DesktopCommandLine line;
  const kelvo::apps::Program program = kelvo::desktop::desktopProgram(line);
  const kelvo::apps::Parsed parsed = kelvo::apps::parseCommandLine(program, argc, argv);
  if (parsed.exit) return *parsed.exit;
  kelvo::apps::applyGiven(parsed, kelvo::apps::Rows::commandLineOnly);

  const std::filesystem::path configFile =
      line.config ? std::filesystem::path(*line.config) : kelvo::desktop::defaultConfigFile();
  // The default file may be absent; a file named on the command line may not.
  std::error_code error;
  if (line.config && !std::filesystem::exists(configFile, error)) {
    std::cerr << "kelvo-desktop: " << kelvo::logValue(configFile.string())
              << ": cannot open: No such file or directory\n";
    return kelvo::apps::kExitFailure;
  }
  const std::string group = kelvo::desktop::configGroup(line.name);
  if (const auto problem = kelvo::desktop::applyConfigFile(configFile, group, line.settings)) {
    std::cerr << "kelvo-desktop: " << *problem << "; using the defaults\n";
  }
  kelvo::apps::applyGiven(parsed, kelvo::apps::Rows::configurable);
  kelvo::desktop::Settings settings = line.settings;

  // The widget is drawn with Cairo alone. Without this GDK loads the GL
  // driver at start to choose visuals: over 50 MiB of resident memory with
  // a software renderer. Not passed on to the programs a click starts.
  const bool glChosen = g_getenv("GDK_GL") != nullptr;
  if (!glChosen) g_setenv("GDK_GL", "disable", TRUE);
  const bool opened = gtk_init_check(nullptr, nullptr);
  if (!glChosen) g_unsetenv("GDK_GL");
  if (!opened) {
    std::cerr << "kelvo-desktop: cannot open a display (neither WAYLAND_DISPLAY nor DISPLAY works)\n";
    return kelvo::apps::kExitFailure;
  }
  kelvo::desktop::reportLostDisplay(gdk_display_get_default());
  // Stop at once and cleanly; SIGHUP reads the shared directory again.
  g_unix_signal_add(SIGTERM, quit, nullptr);
  g_unix_signal_add(SIGINT, quit, nullptr);

  kelvo::desktop::DesktopHost host(std::move(settings), configFile, group);
  g_unix_signal_add(
      SIGHUP,
      +[](gpointer self) -> gboolean {
        static_cast<kelvo::desktop::DesktopHost*>(self)->reload();
        return G_SOURCE_CONTINUE;
      },
      &host);
  host.start();
  gtk_main();
  return kelvo::apps::kExitOk;
}
