#pragma once

// The widget on the desktop: one window that draws the current entry through
// KelvoUI's painter, placed as the display server allows (a layer surface, an
// X11 desktop window, or a plain window), kept current by the reload policy,
// the age text and the shared directory's file monitor.

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DesktopAppearance.h"
#include "DesktopSettings.h"
#include "HostRefresh.h"
#include "KelvoUI/PangoTextMeasurer.h"
#include "KelvoUI/WidgetRenderer.h"
#include "KelvoWidget/CarProvider.h"
#include "KelvoWidget/RefreshSchedule.h"

namespace kelvo::desktop {

class DesktopHost {
 public:
  DesktopHost(Settings settings, std::filesystem::path configFile, std::string configGroup);
  DesktopHost(const DesktopHost&) = delete;
  DesktopHost& operator=(const DesktopHost&) = delete;
  ~DesktopHost();

  // Creates and shows the window and starts watching; asks for the first timeline.
  void start();
  // Asks the provider for a new timeline and draws it.
  void reload();

 private:
  enum class Placement { layerSurface, x11Desktop, x11KeepBelow, plainWindow };

  GdkMonitor* chosenMonitor() const;
  void placeWindow();
  // Anchors the window on its output at the (fitted) margin for the current
  // size; the X11 window's corner, or the layer surface's margins.
  GdkPoint positionWindow();
  void applyWidgetSize();
  void updateShape();
  void redraw();
  // The host's measurer, made anew when the texts changed.
  Result<std::shared_ptr<ui::PangoTextMeasurer>> textMeasurer();
  void setFamily(ui::WidgetFamily family);
  // Watches the shared directory, or its nearest existing ancestor while it
  // is missing; called again whenever that changes.
  void watchSharedDirectory();
  void stopWatching();
  // The shared directory, also when it does not exist (yet).
  std::optional<std::filesystem::path> sharedDirectory() const;
  void openDeepLink();
  void showMenu(GdkEvent* event);
  // Follows the config file: its directory (or the nearest ancestor there
  // is, to see it made) and, for a symbolic link, its target's directory.
  void watchConfigFile();
  void stopWatchingConfig();
  // Applies what changed in the config file since it was last read; a
  // malformed file is logged once and changes nothing.
  void rereadConfigFile();

  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self);
  static gboolean onButton(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean onSettled(gpointer self);
  static gboolean onConfigSettled(gpointer self);
  static void onConfigChanged(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event,
                              gpointer self);
  static void onDirectoryChanged(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event,
                                 gpointer self);

  Settings settings_;
  std::filesystem::path configFile_;
  std::string configGroup_;
  widget::CarProvider provider_;
  std::unique_ptr<DesktopAppearance> appearance_;

  GtkWidget* window_ = nullptr;
  Placement placement_ = Placement::plainWindow;
  bool composited_ = false;
  mutable std::string monitorName_;  // the output asked for, once found

  std::optional<widget::Timeline> timeline_;
  std::optional<ui::WidgetLayout> layout_;
  std::shared_ptr<ui::PangoTextMeasurer> text_;  // what layout_ was made with; set with it
  bool renewText_ = false;                       // the next layout starts with empty font caches
  std::string shownTexts_;                       // the timeline's texts (textsOf), to see new ones come
  apps::RefreshTimer refresh_{[this] { reload(); }, [this] { redraw(); }};
  guint settleSource_ = 0;
  GFileMonitor* monitor_ = nullptr;
  std::optional<std::filesystem::path> sharedDirectory_;  // absolute; nothing when there is none
  std::filesystem::path watched_;  // what monitor_ watches: the shared directory or an ancestor
  bool marginFitLogged_ = false;
  std::vector<GFileMonitor*> configMonitors_;
  guint configSettleSource_ = 0;
  Settings fileSettings_;      // what the config file said when last read
  std::string configProblem_;  // the last malformed file's line, logged once
};

}  // namespace kelvo::desktop
