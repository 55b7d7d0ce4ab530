// kelvo-app: the Kelvo window. Answers kelvo:// links (the widget's click),
// one instance per session: a second launch presents the first window.

#include <adwaita.h>

#include <cstdio>
#include <memory>

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
  AdwApplication* application = adw_application_new(kApplicationId, G_APPLICATION_HANDLES_OPEN);
  // GApplication answers --help; --version (-V) as every Kelvo program does.
  g_application_add_main_option(G_APPLICATION(application), "version", 'V', G_OPTION_FLAG_NONE,
                                G_OPTION_ARG_NONE, "Print the version and exit", nullptr);
  g_signal_connect(application, "handle-local-options",
                   G_CALLBACK(+[](GApplication*, GVariantDict* options, gpointer) -> int {
                     if (!g_variant_dict_contains(options, "version")) return -1;
                     std::printf("%s\n", kelvo::apps::versionLine("kelvo-app").c_str());
                     return 0;
                   }),
                   nullptr);
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
  const int status = g_application_run(G_APPLICATION(application), argc, argv);
  g_object_unref(application);
  return status;
}
