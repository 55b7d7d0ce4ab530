// kelvo-app: the Kelvo window. Answers kelvo:// links (the widget's click),
// one instance per session: a second launch presents the first window.

#include <adwaita.h>

#include <memory>
#include <string>
#include <vector>

#include "AppWindow.h"
#include "FeedConfig.h"
#include "KelvoShared/Localization.h"
#include "Options.h"

namespace {

// The application's id on the session bus, which keeps it single.
constexpr const char* kApplicationId = "se.kelvo.Kelvo";

std::unique_ptr<kelvo::app::AppWindow> window;

kelvo::app::AppWindow& theWindow(GApplication* application) {
  if (!window) {
    kelvo::app::AppPaths paths;
    paths.feedConfig = kelvo::feed::defaultConfigFile().value_or("feed.ini");
    paths.passwordFile = paths.feedConfig.parent_path() / "mqtt-password";
    window = std::make_unique<kelvo::app::AppWindow>(ADW_APPLICATION(application), paths);
  }
  return *window;
}

}  // namespace

int main(int argc, char** argv) {
  kelvo::initLocale();
  // The options are read by the table every Kelvo program uses, for the same
  // --help, --version and usage errors; GApplication gets only the links.
  std::vector<std::string> links;
  kelvo::apps::Program program;
  program.name = "kelvo-app";
  program.summary = "The Kelvo window: the car, its data source, and the desktop widget's settings";
  program.arguments.push_back({"LINK", kelvo::apps::Value::text,
                               "kelvo:// links to open (the widget's click)", false,
                               [&links](const std::string& link) { links.push_back(link); }, true});
  if (const kelvo::apps::Parsed parsed = kelvo::apps::parseCommandLine(program, argc, argv); parsed.exit) {
    return *parsed.exit;
  }
  std::vector<char*> forwarded{argv[0]};
  for (std::string& link : links) forwarded.push_back(link.data());
  forwarded.push_back(nullptr);

  AdwApplication* application = adw_application_new(kApplicationId, G_APPLICATION_HANDLES_OPEN);
  g_signal_connect(application, "activate", G_CALLBACK(+[](GApplication* app) { theWindow(app).present(); }),
                   nullptr);
  g_signal_connect(application, "open",
                   G_CALLBACK(+[](GApplication* app, GFile** files, int count, const char*) {
                     for (int i = 0; i < count; ++i) {
                       gchar* uri = g_file_get_uri(files[i]);
                       theWindow(app).open(uri);
                       g_free(uri);
                     }
                   }),
                   nullptr);
  g_signal_connect(application, "shutdown", G_CALLBACK(+[](GApplication*) { window.reset(); }), nullptr);
  const int status =
      g_application_run(G_APPLICATION(application), static_cast<int>(forwarded.size() - 1), forwarded.data());
  g_object_unref(application);
  return status;
}
