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
#include "ParseCommandLine.h"

namespace {

gboolean quit(gpointer) {
  gtk_main_quit();
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::initLocale();

  CLI::App app{"The Kelvo widget on the desktop: a layer surface on Wayland, a desktop window on X11.",
               "kelvo-desktop"};
  app.footer(
      "Settings not given come from the config file's [widget] (or [widget NAME]) group.\n"
      "SIGHUP reads the shared directory again; SIGTERM and SIGINT end it with status 0.");
  kelvo::desktop::CommandLine line;
  kelvo::desktop::addOptions(app, line);
  if (const std::optional<int> status = kelvo::apps::parseCommandLine(app, argc, argv)) return *status;

  const std::filesystem::path configFile =
      line.config ? std::filesystem::path(*line.config) : kelvo::desktop::defaultConfigFile();
  const std::string group = kelvo::desktop::configGroup(line.name);
  kelvo::desktop::Settings settings;
  if (const auto problem = kelvo::desktop::applyConfigFile(configFile, group, settings)) {
    std::cerr << "kelvo-desktop: " << *problem << "; using the defaults\n";
  }
  kelvo::desktop::applyCommandLine(line, settings);

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
