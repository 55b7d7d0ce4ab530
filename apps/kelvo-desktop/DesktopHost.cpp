#include "DesktopHost.h"

#include <gtk-layer-shell.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "DesktopAccessible.h"
#include "HitTest.h"
#include "KelvoBase/Unreachable.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoWidget/CarEntry.h"
#include "KelvoWidget/CarSummary.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"
#include "WaylandOutputs.h"
#include "WindowPlacement.h"

namespace kelvo::desktop {

namespace {

// Every outside value in a line went through logValue.
void log(const std::string& line) { writeLogLine("kelvo-desktop", line, LogEscape::done); }

// Events closer together than this are one change (a temporary file, then its rename).
constexpr guint kSettleMilliseconds = 150;

widget::CarProvider makeProvider(const Settings& settings) {
  SharedStore store(Platform::forSharedDirectory(settings.sharedDir));
  return widget::CarProvider(std::move(store));
}

// `directory` absolute, without "." or ".." or a trailing "/", as GIO names it.
std::filesystem::path normalDirectory(const std::filesystem::path& directory) {
  std::error_code error;
  std::filesystem::path normal = std::filesystem::absolute(directory, error).lexically_normal();
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

// `directory` when it is one, else its nearest ancestor that is ("/" at worst).
std::filesystem::path nearestExistingDirectory(std::filesystem::path directory) {
  std::error_code error;
  while (!std::filesystem::is_directory(directory, error) && directory.has_relative_path())
    directory = directory.parent_path();
  return directory;
}

// Whether `file` is `path`.
bool isPath(GFile* file, const std::filesystem::path& path) {
  if (!file) return false;
  gchar* name = g_file_get_path(file);
  const bool same = name && path == name;
  g_free(name);
  return same;
}

// The texts of a timeline that are not made of digits and the widget's own
// words: what a new font, script or language could come from.
std::string textsOf(const widget::Timeline& timeline) {
  std::string texts;
  for (const widget::CarEntry& entry : timeline.entries) {
    if (const WidgetSnapshot* snapshot = entry.snapshot()) {
      for (const auto* text : {&snapshot->carTitle, &snapshot->modelName, &snapshot->registrationNo})
        texts.append(text->value_or("")).push_back('\0');
      texts.append(snapshot->statusKey).push_back('\0');
    } else if (const std::string* message = entry.problem()->message()) {
      texts.append(*message).push_back('\0');
    }
  }
  return texts;
}

bool isWatchedName(GFile* file) {
  if (!file) return false;
  gchar* name = g_file_get_basename(file);
  const bool watched = name && (std::string(name) == "snapshot.json" || std::string(name) == "car.png");
  g_free(name);
  return watched;
}

const char* layerName(Layer layer) {
  switch (layer) {
    case Layer::background:
      return "background";
    case Layer::bottom:
      return "bottom";
    case Layer::top:
      return "top";
  }
  unreachable(__func__);
}

}  // namespace

DesktopHost::DesktopHost(Settings settings, std::filesystem::path configFile, std::string configGroup)
    : settings_(std::move(settings)),
      configFile_(std::move(configFile)),
      configGroup_(std::move(configGroup)),
      provider_(makeProvider(settings_)) {}

DesktopHost::~DesktopHost() {
  refresh_.cancel();
  if (settleSource_) g_source_remove(settleSource_);
  if (configSettleSource_) g_source_remove(configSettleSource_);
  stopWatching();
  stopWatchingConfig();
  if (window_) gtk_widget_destroy(window_);
}

void DesktopHost::start() {
  if (settings_.appearance == AppearanceChoice::automatic) {
    appearance_ = std::make_unique<DesktopAppearance>([this] { redraw(); });
  }
  window_ = newAccessibleWindow([this] { openDeepLink(); });
  gtk_window_set_title(GTK_WINDOW(window_), "Kelvo");
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_widget_set_app_paintable(window_, TRUE);
  GdkScreen* screen = gtk_widget_get_screen(window_);
  GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
  composited_ = gdk_screen_is_composited(screen) && rgba;
  if (composited_) gtk_widget_set_visual(window_, rgba);
  gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(window_, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(window_, "button-press-event", G_CALLBACK(onButton), this);

  reload();  // the first layout gives the size
  placeWindow();
  gtk_widget_show(window_);
  sharedDirectory_ = sharedDirectory();
  watchSharedDirectory();
  // What is wrong with the file main has said already.
  if (const auto problem = applyConfigFile(configFile_, configGroup_, fileSettings_))
    configProblem_ = *problem;
  watchConfigFile();
}

GdkMonitor* DesktopHost::chosenMonitor() const {
  GdkDisplay* display = gdk_display_get_default();
  const int count = gdk_display_get_n_monitors(display);
  if (settings_.output) {
    // X11 gives the connector as the model; on Wayland it comes from xdg-output.
    const std::vector<WaylandOutput> named = waylandOutputs(display);
    std::string names;
    for (int i = 0; i < count; ++i) {
      GdkMonitor* monitor = gdk_display_get_monitor(display, i);
      const char* model = gdk_monitor_get_model(monitor);
      std::string name = model ? model : "?";
      GdkRectangle area;
      gdk_monitor_get_geometry(monitor, &area);
      for (const WaylandOutput& output : named) {
        if (output.x == area.x && output.y == area.y) name = output.name;
      }
      if (*settings_.output == name) {
        monitorName_ = name;
        return monitor;
      }
      names += (names.empty() ? "" : ", ") + logValue(name, 40);
    }
    log("no output named \"" + logValue(*settings_.output) + "\" (outputs: " + names +
        "); using the primary one");
  }
  if (GdkMonitor* primary = gdk_display_get_primary_monitor(display)) return primary;
  return count > 0 ? gdk_display_get_monitor(display, 0) : nullptr;
}

void DesktopHost::placeWindow() {
  GtkWindow* window = GTK_WINDOW(window_);
  GdkDisplay* display = gdk_display_get_default();

#ifdef GDK_WINDOWING_WAYLAND
  if (GDK_IS_WAYLAND_DISPLAY(display)) {
    if (gtk_layer_is_supported()) {
      placement_ = Placement::layerSurface;
      gtk_layer_init_for_window(window);
      gtk_layer_set_namespace(window, "kelvo");
      gtk_layer_set_layer(window, settings_.layer == Layer::background ? GTK_LAYER_SHELL_LAYER_BACKGROUND
                                  : settings_.layer == Layer::top      ? GTK_LAYER_SHELL_LAYER_TOP
                                                                       : GTK_LAYER_SHELL_LAYER_BOTTOM);
      gtk_layer_set_keyboard_mode(window, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
      gtk_layer_set_exclusive_zone(window, 0);
      positionWindow();
      log(std::string("layer surface on the ") + layerName(settings_.layer) + " layer" +
          (monitorName_.empty() ? std::string() : " of " + logValue(monitorName_)));
      return;
    }
    placement_ = Placement::plainWindow;
    log("plain window: this Wayland compositor offers no layer-shell protocol (GNOME does not), so the "
        "window cannot be kept on the desktop; place it yourself");
    return;
  }
#endif
#ifdef GDK_WINDOWING_X11
  if (GDK_IS_X11_DISPLAY(display)) {
    const bool desktopType = gdk_x11_screen_supports_net_wm_hint(
        gtk_widget_get_screen(window_), gdk_atom_intern_static_string("_NET_WM_WINDOW_TYPE_DESKTOP"));
    placement_ = desktopType ? Placement::x11Desktop : Placement::x11KeepBelow;
    if (desktopType) gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DESKTOP);
    gtk_window_set_keep_below(window, TRUE);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_stick(window);
    const GdkPoint corner = positionWindow();
    log(std::string("X11 window ") +
        (desktopType ? "of the desktop type" : "kept below (the window manager offers no desktop windows)") +
        (composited_ ? ", translucent corners" : ", shaped corners") + " at " + std::to_string(corner.x) +
        "," + std::to_string(corner.y));
    return;
  }
#endif
  placement_ = Placement::plainWindow;
  log("plain window: this display is neither Wayland nor X11");
}

GdkPoint DesktopHost::positionWindow() {
  GdkMonitor* monitor = chosenMonitor();
  const Anchor anchor = settings_.anchor;
  // X11 places in the work area (panels left out); a layer surface's margins
  // count from the output's edges (the compositor keeps panels' zones free).
  GdkRectangle area{0, 0, 0, 0};
  if (monitor && placement_ == Placement::layerSurface) gdk_monitor_get_geometry(monitor, &area);
  if (monitor && placement_ != Placement::layerSurface) gdk_monitor_get_workarea(monitor, &area);
  const ui::Size size = ui::widgetSize(settings_.family);
  const WindowPlacement placed = placeWidget({area.x, area.y, area.width, area.height}, int(size.width),
                                             int(size.height), anchor, settings_.margin);
  const Margin margin = placed.margin;
  if (placed.marginFitted && !marginFitLogged_) {
    marginFitLogged_ = true;
    log("a margin of " + std::to_string(settings_.margin.x) + "," + std::to_string(settings_.margin.y) +
        " would put the widget off the output (" + std::to_string(area.width) + "x" +
        std::to_string(area.height) + "); using " + std::to_string(margin.x) + "," +
        std::to_string(margin.y));
  }

  if (placement_ == Placement::layerSurface) {
#ifdef GDK_WINDOWING_WAYLAND
    GtkWindow* window = GTK_WINDOW(window_);
    if (monitor) gtk_layer_set_monitor(window, monitor);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_LEFT,
                         anchor == Anchor::topLeft || anchor == Anchor::bottomLeft);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_RIGHT,
                         anchor == Anchor::topRight || anchor == Anchor::bottomRight);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_TOP,
                         anchor == Anchor::topLeft || anchor == Anchor::topRight);
    gtk_layer_set_anchor(window, GTK_LAYER_SHELL_EDGE_BOTTOM,
                         anchor == Anchor::bottomLeft || anchor == Anchor::bottomRight);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_LEFT, margin.x);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_RIGHT, margin.x);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_TOP, margin.y);
    gtk_layer_set_margin(window, GTK_LAYER_SHELL_EDGE_BOTTOM, margin.y);
#endif
    return {margin.x, margin.y};
  }
  gtk_window_move(GTK_WINDOW(window_), placed.x, placed.y);
  return {placed.x, placed.y};
}

void DesktopHost::applyWidgetSize() {
  const ui::Size size = ui::widgetSize(settings_.family);
  gtk_widget_set_size_request(window_, int(size.width), int(size.height));
  gtk_window_resize(GTK_WINDOW(window_), int(size.width), int(size.height));
  updateShape();
}

// The window's shape: the widget's rounded rectangle. Without a compositor it
// is what keeps the corners from showing black; with one the corners are
// transparent already, and the input shape lets clicks there reach the desktop.
void DesktopHost::updateShape() {
  if (!layout_) return;
  const int w = int(std::ceil(layout_->widgetSize.width)), h = int(std::ceil(layout_->widgetSize.height));
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(mask);
  ui::paintLayout(cr, *layout_, *text_);
  cairo_destroy(cr);
  cairo_region_t* region = gdk_cairo_region_create_from_surface(mask);
  cairo_surface_destroy(mask);
  if (!composited_) gtk_widget_shape_combine_region(window_, region);
  gtk_widget_input_shape_combine_region(window_, region);
  cairo_region_destroy(region);
}

void DesktopHost::reload() {
  timeline_.reset();
  timeline_ = provider_.timeline({settings_.family, false});
  if (timeline_ && !timeline_->entries.empty()) {
    log("showing " +
        widget::describe(currentEntry(*timeline_, Date::now()),
                         [](std::string_view text) { return logValue(text); }) +
        "; reload at " + formatInternetDateTime(timeline_->policy.date));
  }
  const std::string texts = timeline_ ? textsOf(*timeline_) : std::string();
  const bool newTexts = texts != shownTexts_;
  shownTexts_ = texts;
  renewText_ = renewText_ || newTexts;
  redraw();
  // What the previous texts' fonts and shapes held is free now; give it back.
  if (newTexts) malloc_trim(0);
}

Result<std::shared_ptr<ui::PangoTextMeasurer>> DesktopHost::textMeasurer() {
  // Pango, fontconfig and HarfBuzz keep what they learn about each font,
  // script and language for good: every new text (and a hostile snapshot
  // brings many) adds to it. A measurer of our own, made anew when the texts
  // change, lets all of it go with the old one; the same texts (the numbers
  // change, the names seldom do) cost nothing more and share it.
  if (!text_ || renewText_) {
    auto made = ui::PangoTextMeasurer::create();
    if (!made && !text_) return made.error();
    if (made) text_ = *made;
    renewText_ = false;
  }
  return text_;
}

void DesktopHost::redraw() {
  if (!timeline_ || timeline_->entries.empty()) return;
  const ui::Appearance appearance = settings_.appearance == AppearanceChoice::dark    ? ui::Appearance::dark
                                    : settings_.appearance == AppearanceChoice::light ? ui::Appearance::light
                                    : appearance_                                     ? appearance_->current()
                                                                                      : ui::Appearance::light;
  if (const auto measurer = textMeasurer(); !measurer) {
    log("cannot lay the widget out: " + logValue(measurer.error().message));
  } else {
    apps::HostFrame frame =
        apps::layOutFrame(*timeline_, settings_.family, Date::now(), appearance, **measurer);
    const bool sizeChanged = !layout_ || !(layout_->widgetSize == frame.layout.widgetSize);
    layout_ = std::move(frame.layout);
    if (sizeChanged) applyWidgetSize();
    gtk_widget_queue_draw(window_);
    std::vector<ui::ReadText> texts = ui::readingOrder(layout_->root);
    const std::string summary =
        widget::spokenSummary(frame.entry, widget::CarPresentation::Context::of(frame.environment))
            .value_or(ui::joinedText(texts));
    updateAccessible(window_, std::move(texts), summary);
  }
  refresh_.schedule(*timeline_);
}

gboolean DesktopHost::onDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  auto* host = static_cast<DesktopHost*>(self);
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, 0, 0, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  if (host->layout_) ui::paintLayout(cr, *host->layout_, *host->text_);
  return TRUE;
}

std::optional<std::filesystem::path> DesktopHost::sharedDirectory() const {
  if (settings_.sharedDir) return normalDirectory(*settings_.sharedDir);
  const Platform platform = Platform::current();
  const SharedStore store(platform);
  if (auto directory = store.containerURL()) return directory;
  // An app group whose container is not there yet: where it will be made.
  const auto group = store.appGroup();
  const auto data = platform.dataDirectory();
  if (!group || !isSafeGroupIdentifier(*group) || !data) return std::nullopt;
  return *data / "kelvo" / "groups" / *group;
}

void DesktopHost::watchSharedDirectory() {
  stopWatching();
  const auto& directory = sharedDirectory_;
  if (!directory) {
    log("no shared directory to watch; reloading on the reload policy only");
    return;
  }
  // The directory, or while it is missing the nearest ancestor there is, to
  // see it come. It may come or go between looking and watching: look again.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::filesystem::path watched = nearestExistingDirectory(*directory);
    GFile* file = g_file_new_for_path(watched.c_str());
    GError* error = nullptr;
    monitor_ = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, &error);
    g_object_unref(file);
    if (!monitor_) {
      log("cannot watch " + logValue(watched.string()) + ": " + logValue(error->message));
      g_error_free(error);
      return;
    }
    g_signal_connect(monitor_, "changed", G_CALLBACK(onDirectoryChanged), this);
    watched_ = watched;
    if (nearestExistingDirectory(*directory) == watched) {
      if (watched != *directory)
        log("the shared directory " + logValue(directory->string()) + " does not exist; watching " +
            logValue(watched.string()) + " for it");
      return;
    }
    stopWatching();
  }
  log("the shared directory " + logValue(directory->string()) + " keeps changing; not watched");
}

void DesktopHost::stopWatching() {
  if (!monitor_) return;
  g_signal_handlers_disconnect_by_data(monitor_, this);
  g_file_monitor_cancel(monitor_);
  g_object_unref(monitor_);
  monitor_ = nullptr;
  watched_.clear();
}

void DesktopHost::onDirectoryChanged(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event,
                                     gpointer self) {
  auto* host = static_cast<DesktopHost*>(self);
  if (event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED || event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT) return;
  const auto& directory = host->sharedDirectory_;
  // The directory itself deleted or moved away, or one on the way to it
  // made: watch what is there now, and read again (the files came or went
  // with it, maybe before the watch began).
  if (!directory || nearestExistingDirectory(*directory) != host->watched_ || isPath(file, host->watched_)) {
    host->watchSharedDirectory();
  } else if (host->watched_ != *directory || (!isWatchedName(file) && !isWatchedName(other))) {
    return;
  }
  // The first event of a burst starts the clock; the rest ride along.
  if (!host->settleSource_) host->settleSource_ = g_timeout_add(kSettleMilliseconds, onSettled, host);
}

gboolean DesktopHost::onSettled(gpointer self) {
  auto* host = static_cast<DesktopHost*>(self);
  host->settleSource_ = 0;
  host->reload();
  return G_SOURCE_REMOVE;
}

void DesktopHost::watchConfigFile() {
  stopWatchingConfig();
  std::vector<std::filesystem::path> directories{
      nearestExistingDirectory(normalDirectory(configFile_.parent_path()))};
  std::error_code error;
  if (std::filesystem::is_symlink(configFile_, error)) {
    const std::filesystem::path target = std::filesystem::weakly_canonical(configFile_, error);
    if (!error) directories.push_back(nearestExistingDirectory(target.parent_path()));
  }
  for (const std::filesystem::path& directory : directories) {
    GFile* file = g_file_new_for_path(directory.c_str());
    if (GFileMonitor* monitor =
            g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr)) {
      g_signal_connect(monitor, "changed", G_CALLBACK(onConfigChanged), this);
      configMonitors_.push_back(monitor);
    }
    g_object_unref(file);
  }
}

void DesktopHost::stopWatchingConfig() {
  for (GFileMonitor* monitor : configMonitors_) {
    g_signal_handlers_disconnect_by_data(monitor, this);
    g_file_monitor_cancel(monitor);
    g_object_unref(monitor);
  }
  configMonitors_.clear();
}

void DesktopHost::onConfigChanged(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event,
                                  gpointer self) {
  auto* host = static_cast<DesktopHost*>(self);
  if (event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED || event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT) return;
  // The file, its link's target, or a directory on the way to either.
  const auto concerns = [host](GFile* changed) {
    if (!changed) return false;
    gchar* name = g_file_get_path(changed);
    const std::string path = name ? name : "";
    g_free(name);
    std::error_code error;
    const std::string target = std::filesystem::weakly_canonical(host->configFile_, error).string();
    for (const std::string& watched : {normalDirectory(host->configFile_).string(), target}) {
      if (!path.empty() && watched.starts_with(path) &&
          (watched.size() == path.size() || watched[path.size()] == '/'))
        return true;
    }
    return false;
  };
  if (!concerns(file) && !concerns(other)) return;
  if (!host->configSettleSource_)
    host->configSettleSource_ = g_timeout_add(kSettleMilliseconds, onConfigSettled, host);
}

gboolean DesktopHost::onConfigSettled(gpointer self) {
  auto* host = static_cast<DesktopHost*>(self);
  host->configSettleSource_ = 0;
  host->watchConfigFile();  // a directory made, a link pointed elsewhere
  host->rereadConfigFile();
  return G_SOURCE_REMOVE;
}

void DesktopHost::rereadConfigFile() {
  Settings read;
  if (const auto problem = applyConfigFile(configFile_, configGroup_, read)) {
    if (*problem != configProblem_) log(*problem + "; keeping the settings in use");
    configProblem_ = *problem;
    return;
  }
  configProblem_.clear();
  // What changed in the file applies, over the command line too: someone
  // (the Kelvo window, say) asked for it just now. The rest stays as it is.
  Settings next = settings_;
  const Settings& was = fileSettings_;
  if (read.layer != was.layer) next.layer = read.layer;
  if (read.anchor != was.anchor) next.anchor = read.anchor;
  if (!(read.margin == was.margin)) next.margin = read.margin;
  if (read.output != was.output) next.output = read.output;
  if (read.family != was.family) next.family = read.family;
  if (read.appearance != was.appearance) next.appearance = read.appearance;
  fileSettings_ = read;
  const auto fields = [](const Settings& s) {
    return std::tie(s.layer, s.anchor, s.margin.x, s.margin.y, s.output, s.family, s.appearance);
  };
  if (fields(next) == fields(settings_)) return;
  const bool appearanceChanged = next.appearance != settings_.appearance;
  const bool layerChanged = next.layer != settings_.layer;
  settings_ = std::move(next);
  log("applying what changed in " + logValue(configFile_.string()));
  if (appearanceChanged) {
    appearance_.reset();
    if (settings_.appearance == AppearanceChoice::automatic)
      appearance_ = std::make_unique<DesktopAppearance>([this] { redraw(); });
  }
#ifdef GDK_WINDOWING_WAYLAND
  if (layerChanged && placement_ == Placement::layerSurface)
    gtk_layer_set_layer(GTK_WINDOW(window_), settings_.layer == Layer::background
                                                 ? GTK_LAYER_SHELL_LAYER_BACKGROUND
                                             : settings_.layer == Layer::top ? GTK_LAYER_SHELL_LAYER_TOP
                                                                             : GTK_LAYER_SHELL_LAYER_BOTTOM);
#else
  (void)layerChanged;
#endif
  reload();
  if (placement_ != Placement::plainWindow) positionWindow();
}

void DesktopHost::openDeepLink() {
  const std::string url = layout_ && layout_->widgetURL ? *layout_->widgetURL : "kelvo://open";
  GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gtk_widget_get_display(window_));
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(url.c_str(), G_APP_LAUNCH_CONTEXT(context), &error)) {
    log("cannot open " + logValue(url) + ": " + logValue(error ? error->message : "no handler") +
        " (install an x-scheme-handler/kelvo application)");
    if (error) g_error_free(error);
  }
  g_object_unref(context);
}

void DesktopHost::setFamily(ui::WidgetFamily family) {
  if (family == settings_.family) return;
  settings_.family = family;
  if (const auto failure = rememberFamily(configFile_, configGroup_, family)) {
    log("cannot remember the size: " + *failure);
  }
  reload();
  // The window's corner moves with the size when it is anchored right or
  // bottom, and a fitted margin may change with it.
  if (placement_ != Placement::plainWindow) positionWindow();
}

void DesktopHost::showMenu(GdkEvent* event) {
  GtkWidget* menu = gtk_menu_new();
  GSList* group = nullptr;
  for (const ui::WidgetFamily family : ui::offeredFamilies()) {
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, familyLabel(family).c_str());
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), family == settings_.family);
    g_object_set_data(G_OBJECT(item), "kelvo-family", GINT_TO_POINTER(int(family)));
    g_signal_connect(item, "toggled", G_CALLBACK(+[](GtkCheckMenuItem* item, gpointer self) {
                       if (!gtk_check_menu_item_get_active(item)) return;
                       const int family = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "kelvo-family"));
                       static_cast<DesktopHost*>(self)->setFamily(static_cast<ui::WidgetFamily>(family));
                     }),
                     this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
  // TRANSLATORS: Desktop widget's right-click menu: read the car's data again at once.
  GtkWidget* refresh = gtk_menu_item_new_with_label(L("Refresh now").c_str());
  g_signal_connect(
      refresh, "activate",
      G_CALLBACK(+[](GtkMenuItem*, gpointer self) { static_cast<DesktopHost*>(self)->reload(); }), this);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), refresh);
  // TRANSLATORS: Desktop widget's right-click menu: close the widget.
  GtkWidget* quit = gtk_menu_item_new_with_label(L("Quit").c_str());
  g_signal_connect(quit, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer) { gtk_main_quit(); }), nullptr);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), quit);
  gtk_widget_show_all(menu);
  gtk_menu_attach_to_widget(GTK_MENU(menu), window_, nullptr);
  // Destroyed once closed; the items' handlers have run by the time the idle comes.
  g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell* shell, gpointer) {
                     g_idle_add(
                         +[](gpointer widget) -> gboolean {
                           gtk_widget_destroy(GTK_WIDGET(widget));
                           return G_SOURCE_REMOVE;
                         },
                         shell);
                   }),
                   nullptr);
  gtk_menu_popup_at_pointer(GTK_MENU(menu), event);
}

gboolean DesktopHost::onButton(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* host = static_cast<DesktopHost*>(self);
  if (event->type != GDK_BUTTON_PRESS || !host->layout_) return FALSE;
  if (!hitsWidget(host->layout_->widgetSize, ui::widgetCornerRadius, {event->x, event->y})) return FALSE;
  if (event->button == GDK_BUTTON_PRIMARY) {
    host->openDeepLink();
    return TRUE;
  }
  if (event->button == GDK_BUTTON_SECONDARY) {
    host->showMenu(reinterpret_cast<GdkEvent*>(event));
    return TRUE;
  }
  return FALSE;
}

}  // namespace kelvo::desktop
