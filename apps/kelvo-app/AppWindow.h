#pragma once

// The Kelvo window: the car drawn live by the widget's painter with its
// details as text, and the set-up form that logs in to the broker, finds the
// cars, writes feed.ini and starts the feed.

#include <adwaita.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CarDiscovery.h"
#include "HostRefresh.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/WidgetRenderer.h"
#include "KelvoWidget/CarProvider.h"
#include "KelvoWidget/RefreshSchedule.h"
#include "SetupForm.h"

namespace kelvo::app {

// Where the window reads and writes.
struct AppPaths {
  std::filesystem::path feedConfig;    // feed.ini
  std::filesystem::path passwordFile;  // the broker password, next to it
};

class AppWindow {
 public:
  AppWindow(AdwApplication* application, AppPaths paths);
  AppWindow(const AppWindow&) = delete;
  AppWindow& operator=(const AppWindow&) = delete;
  ~AppWindow();

  void present();
  // kelvo://open and its kin: the car page, or the set-up form when nothing is set up.
  void open(const std::string& uri);

 private:
  struct FieldRow {
    GtkWidget* entry = nullptr;
    GtkWidget* error = nullptr;
  };

  GtkWidget* buildCarPage();
  GtkWidget* buildSetupPage();
  GtkWidget* buildDesktopPage();
  void saveDesktop();
  GtkWidget* addField(GtkGrid* grid, int row, Field field, const char* label, GtkWidget* entry);
  void reload();
  void redraw();
  void updateDetails();
  void watchSharedDirectory();
  std::string sourceText() const;
  FormInput formInput() const;
  void showError(const FieldError& error);
  void clearErrors();
  void connect();
  void connected(const feed::Discovery& discovery);
  void save();
  void openDashboard();

  static void onDraw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer self);
  static gboolean onSettled(gpointer self);
  static void onDirectoryChanged(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent, gpointer self);
  static void onDiscovered(GObject*, GAsyncResult* result, gpointer self);

  AdwApplication* application_;
  AppPaths paths_;
  widget::CarProvider provider_;
  std::optional<std::filesystem::path> sharedDirectory_;

  GtkWidget* window_ = nullptr;
  GtkWidget* stack_ = nullptr;
  GtkWidget* drawing_ = nullptr;
  GtkWidget* details_ = nullptr;
  GtkWidget* health_ = nullptr;
  GtkWidget* dashboardButton_ = nullptr;
  GtkWidget* source_ = nullptr;
  std::map<Field, FieldRow> fields_;
  GtkWidget* connectButton_ = nullptr;
  GtkWidget* carsBox_ = nullptr;
  GtkWidget* carsError_ = nullptr;
  GtkWidget* saveButton_ = nullptr;
  GtkWidget* outcome_ = nullptr;
  std::vector<std::pair<GtkWidget*, feed::FoundCar>> carButtons_;
  // The desktop widget's settings: size, corner, margins, appearance.
  GtkWidget* size_ = nullptr;
  const std::vector<ui::WidgetFamily> sizes_ = ui::offeredFamilies();  // the size list's entries, in order
  GtkWidget* corner_ = nullptr;
  GtkWidget* marginX_ = nullptr;
  GtkWidget* marginY_ = nullptr;
  GtkWidget* appearance_ = nullptr;
  GtkWidget* desktopOutcome_ = nullptr;  // the list's rows

  std::optional<widget::Timeline> timeline_;
  std::optional<ui::WidgetLayout> layout_;
  std::shared_ptr<ui::PangoTextMeasurer> text_;
  apps::RefreshTimer refresh_{[this] { reload(); }, [this] { redraw(); }};
  guint settleSource_ = 0;
  GFileMonitor* monitor_ = nullptr;
  GCancellable* discovery_ = nullptr;
};

}  // namespace kelvo::app
