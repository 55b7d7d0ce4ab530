#include "AppWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "CarDetails.h"
#include "DesktopSettings.h"
#include "FeedConfigWriter.h"
#include "FeedStatus.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/LogText.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"
#include "UserUnits.h"

namespace kelvo::app {

namespace {

constexpr ui::WidgetFamily kFamily = ui::WidgetFamily::systemLarge;
// Events closer together than this are one change (a temporary file, then its rename).
constexpr guint kSettleMilliseconds = 150;
const std::vector<std::string> kUnits = {"kelvo-feed.service", "kelvo-desktop.service"};

// One line of the window's log, escaped and bounded here unless the caller
// escaped each outside value in it already.
void log(const std::string& line, LogEscape escape = LogEscape::wholeLine) {
  writeLogLine("kelvo-app", escape == LogEscape::wholeLine ? logValue(line, kLogLineBytes) : line,
               LogEscape::done);
}

std::string presetTitle(feed::Preset preset) {
  switch (preset) {
    case feed::Preset::teslamate:
      return "TeslaMate";
    case feed::Preset::evcc:
      return "evcc";
    case feed::Preset::snapshot:
      // TRANSLATORS: Kelvo window: the data source that is one MQTT topic holding the whole snapshot.
      return L("Snapshot topic");
    case feed::Preset::map:
      break;
  }
  // The config file's own topic map: its name in feed.ini.
  return std::string(feed::kPresets[static_cast<std::size_t>(preset)].name);
}

std::string presetTitle(const std::string& name) {
  const std::optional<feed::Preset> preset = feed::parsePreset(name);
  return preset ? presetTitle(*preset) : name;
}

std::optional<feed::FeedSettings> savedSettings(const std::filesystem::path& file) {
  feed::FeedSettings settings;
  std::error_code error;
  if (!std::filesystem::exists(file, error) || !feed::applyConfigFile(file, settings)) return std::nullopt;
  return settings;
}

std::string carLabel(const feed::FoundCar& car) {
  std::string label = car.name.empty() ? presetTitle(car.preset) + " " + car.car : car.name;
  if (car.battery) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f %%", *car.battery);
    label += std::string(" — ") + percent;
  }
  // Where it was found, as a topic: which source, under which prefix.
  return label + " (" + presetTitle(car.preset) + ", " + car.prefix +
         (car.preset == "evcc" ? "/loadpoints/" : "/cars/") + car.car + ")";
}

// A button with a mnemonic, named without its underscore: GTK 4.8 would
// name it by the label's text and the label again ("_Save Save").
GtkWidget* mnemonicButton(const std::string& text) {
  GtkWidget* button = gtk_button_new_with_mnemonic(text.c_str());
  std::string name = text;
  std::erase(name, '_');
  gtk_accessible_reset_relation(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_RELATION_LABELLED_BY);
  gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, name.c_str(), -1);
  return button;
}

GtkWidget* errorLabel() {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_wrap(GTK_LABEL(label), TRUE);
  gtk_widget_add_css_class(label, "error");
  gtk_widget_set_visible(label, FALSE);
  return label;
}

}  // namespace

AppWindow::AppWindow(AdwApplication* application, AppPaths paths)
    : application_(application), paths_(std::move(paths)), provider_(SharedStore(Platform::current())) {
  const SharedStore store{Platform::current()};
  sharedDirectory_ = store.containerURL();
  window_ = adw_application_window_new(GTK_APPLICATION(application_));
  gtk_window_set_title(GTK_WINDOW(window_), "Kelvo");
  gtk_window_set_default_size(GTK_WINDOW(window_), 520, 760);
  g_signal_connect_swapped(window_, "destroy", G_CALLBACK(+[](AppWindow* self) { self->window_ = nullptr; }),
                           this);

  stack_ = adw_view_stack_new();
  // TRANSLATORS: Kelvo window: the page that shows the car.
  const std::string carPage = L("Car");
  // TRANSLATORS: Kelvo window: the page that sets the data source up ("sign in").
  const std::string setupPage = L("Set up");
  adw_view_stack_page_set_icon_name(
      adw_view_stack_add_titled(ADW_VIEW_STACK(stack_), buildCarPage(), "car", carPage.c_str()),
      "battery-level-70-charging-symbolic");
  adw_view_stack_page_set_icon_name(
      adw_view_stack_add_titled(ADW_VIEW_STACK(stack_), buildSetupPage(), "setup", setupPage.c_str()),
      "preferences-system-symbolic");
  // TRANSLATORS: Kelvo window: the page with the desktop widget's size, corner, margins and appearance.
  const std::string desktopPage = L("Desktop widget");
  adw_view_stack_page_set_icon_name(
      adw_view_stack_add_titled(ADW_VIEW_STACK(stack_), buildDesktopPage(), "desktop", desktopPage.c_str()),
      "preferences-desktop-display-symbolic");
  GtkWidget* header = adw_header_bar_new();
  GtkWidget* switcher = adw_view_switcher_title_new();
  adw_view_switcher_title_set_stack(ADW_VIEW_SWITCHER_TITLE(switcher), ADW_VIEW_STACK(stack_));
  adw_view_switcher_title_set_title(ADW_VIEW_SWITCHER_TITLE(switcher), "Kelvo");
  adw_header_bar_set_title_widget(ADW_HEADER_BAR(header), switcher);
  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_append(GTK_BOX(content), header);
  gtk_box_append(GTK_BOX(content), stack_);
  gtk_widget_set_vexpand(stack_, TRUE);
  adw_application_window_set_content(ADW_APPLICATION_WINDOW(window_), content);

  g_signal_connect_swapped(adw_style_manager_get_default(), "notify::dark",
                           G_CALLBACK(+[](AppWindow* self) { self->redraw(); }), this);
  watchSharedDirectory();
  reload();
  if (const auto settings = savedSettings(paths_.feedConfig)) {
    const FormInput input = inputFrom(*settings);
    gtk_editable_set_text(GTK_EDITABLE(fields_[Field::broker].entry), input.broker.c_str());
    gtk_editable_set_text(GTK_EDITABLE(fields_[Field::username].entry), input.username.c_str());
    gtk_editable_set_text(GTK_EDITABLE(fields_[Field::prefix].entry), input.prefix.c_str());
    gtk_editable_set_text(GTK_EDITABLE(fields_[Field::topic].entry), input.topic.c_str());
    gtk_editable_set_text(GTK_EDITABLE(fields_[Field::dashboard].entry), input.dashboard.c_str());
    gtk_drop_down_set_selected(GTK_DROP_DOWN(source_), guint(input.source));
  }
}

AppWindow::~AppWindow() {
  if (discovery_) {
    g_cancellable_cancel(discovery_);
    g_object_unref(discovery_);
  }
  refresh_.cancel();
  if (settleSource_) g_source_remove(settleSource_);
  if (monitor_) {
    g_signal_handlers_disconnect_by_data(monitor_, this);
    g_object_unref(monitor_);
  }
  g_signal_handlers_disconnect_by_data(adw_style_manager_get_default(), this);
}

void AppWindow::present() {
  if (!window_) return;
  gtk_window_present(GTK_WINDOW(window_));
  // The car's summary first, not a selectable text (which would start out selected).
  if (std::string_view(adw_view_stack_get_visible_child_name(ADW_VIEW_STACK(stack_))) == "car")
    gtk_widget_grab_focus(drawing_);
}

void AppWindow::open(const std::string& uri) {
  log("opened " + uri);
  // Nothing set up yet: the link means "sign in".
  const bool setUp = std::filesystem::exists(paths_.feedConfig);
  adw_view_stack_set_visible_child_name(ADW_VIEW_STACK(stack_), setUp ? "car" : "setup");
  present();
}

GtkWidget* AppWindow::buildCarPage() {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                      gtk_widget_set_margin_end})
    margin(box, 18);
  // An image to assistive technology, named by the car's one-sentence summary.
  drawing_ =
      GTK_WIDGET(g_object_new(GTK_TYPE_DRAWING_AREA, "accessible-role", GTK_ACCESSIBLE_ROLE_IMG, nullptr));
  gtk_widget_set_halign(drawing_, GTK_ALIGN_CENTER);
  // Focusable, so Tab reaches the car's summary first (and no text starts out selected).
  gtk_widget_set_focusable(drawing_, TRUE);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(drawing_), onDraw, this, nullptr);
  gtk_box_append(GTK_BOX(box), drawing_);
  details_ = gtk_label_new(nullptr);
  health_ = gtk_label_new(nullptr);
  for (GtkWidget* label : {details_, health_}) {
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_box_append(GTK_BOX(box), label);
  }
  // TRANSLATORS: Kelvo window: opens the data source's own web page (TeslaMate, evcc, Home Assistant).
  dashboardButton_ = mnemonicButton(L("Open the _dashboard"));
  gtk_widget_set_halign(dashboardButton_, GTK_ALIGN_START);
  g_signal_connect_swapped(dashboardButton_, "clicked",
                           G_CALLBACK(+[](AppWindow* self) { self->openDashboard(); }), this);
  gtk_box_append(GTK_BOX(box), dashboardButton_);
  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), box);
  return scrolled;
}

GtkWidget* AppWindow::addField(GtkGrid* grid, int row, Field field, const char* text, GtkWidget* entry) {
  GtkWidget* label = gtk_label_new_with_mnemonic(text);
  gtk_label_set_xalign(GTK_LABEL(label), 1);
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
  gtk_widget_set_hexpand(entry, TRUE);
  GtkWidget* error = errorLabel();
  gtk_accessible_update_relation(GTK_ACCESSIBLE(entry), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr,
                                 GTK_ACCESSIBLE_RELATION_DESCRIBED_BY, error, nullptr, -1);
  gtk_grid_attach(grid, label, 0, row * 2, 1, 1);
  gtk_grid_attach(grid, entry, 1, row * 2, 1, 1);
  gtk_grid_attach(grid, error, 1, row * 2 + 1, 1, 1);
  fields_[field] = {entry, error};
  return entry;
}

GtkWidget* AppWindow::buildSetupPage() {
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                      gtk_widget_set_margin_end})
    margin(grid, 18);
  const std::string snapshot = presetTitle("snapshot");
  const char* sources[] = {"TeslaMate", "evcc", snapshot.c_str(), nullptr};
  source_ = gtk_drop_down_new_from_strings(sources);
  int row = 0;
  // TRANSLATORS: Kelvo window, set-up form: where the car's data comes from (TeslaMate, evcc, a topic).
  addField(GTK_GRID(grid), row++, Field::source, L("_Source").c_str(), source_);
  // TRANSLATORS: Kelvo window, set-up form: the MQTT broker's address.
  GtkWidget* broker = addField(GTK_GRID(grid), row++, Field::broker, L("_Broker").c_str(), gtk_entry_new());
  gtk_entry_set_placeholder_text(GTK_ENTRY(broker), "mqtt://localhost:1883");
  gtk_entry_set_input_purpose(GTK_ENTRY(broker), GTK_INPUT_PURPOSE_URL);
  // TRANSLATORS: Kelvo window, set-up form: the broker login's user name.
  addField(GTK_GRID(grid), row++, Field::username, L("_User name").c_str(), gtk_entry_new());
  GtkWidget* password = gtk_password_entry_new();
  gtk_password_entry_set_show_peek_icon(GTK_PASSWORD_ENTRY(password), TRUE);
  // TRANSLATORS: Kelvo window, set-up form: the broker login's password.
  addField(GTK_GRID(grid), row++, Field::password, L("_Password").c_str(), password);
  // TRANSLATORS: Kelvo window, set-up form: a root topic of the user's own, besides teslamate and evcc.
  addField(GTK_GRID(grid), row++, Field::prefix, L("Topic p_refix").c_str(), gtk_entry_new());
  // TRANSLATORS: Kelvo window, set-up form: the one topic holding the whole snapshot.
  addField(GTK_GRID(grid), row++, Field::topic, L("Snapshot _topic").c_str(), gtk_entry_new());
  // TRANSLATORS: Kelvo window, set-up form: the web address of TeslaMate, evcc or Home Assistant.
  const std::string dashboardLabel = L("_Dashboard");
  GtkWidget* dashboard =
      addField(GTK_GRID(grid), row++, Field::dashboard, dashboardLabel.c_str(), gtk_entry_new());
  gtk_entry_set_placeholder_text(GTK_ENTRY(dashboard), "http://teslamate.local:4000");

  // TRANSLATORS: Kelvo window, set-up form: logs in to the broker and looks for cars.
  connectButton_ = mnemonicButton(L("_Connect"));
  gtk_widget_set_halign(connectButton_, GTK_ALIGN_START);
  g_signal_connect_swapped(connectButton_, "clicked", G_CALLBACK(+[](AppWindow* self) { self->connect(); }),
                           this);
  gtk_grid_attach(GTK_GRID(grid), connectButton_, 1, row++ * 2, 1, 1);

  // TRANSLATORS: Kelvo window, set-up form: the heading over the cars found on the broker.
  GtkWidget* carsLabel = gtk_label_new(L("Cars").c_str());
  gtk_label_set_xalign(GTK_LABEL(carsLabel), 1);
  // A list to pick from: arrow keys move, and assistive technology selects a row.
  carsBox_ = gtk_list_box_new();
  gtk_list_box_set_selection_mode(GTK_LIST_BOX(carsBox_), GTK_SELECTION_SINGLE);
  gtk_widget_add_css_class(carsBox_, "boxed-list");
  gtk_accessible_update_relation(GTK_ACCESSIBLE(carsBox_), GTK_ACCESSIBLE_RELATION_LABELLED_BY, carsLabel,
                                 nullptr, -1);
  carsError_ = errorLabel();
  gtk_grid_attach(GTK_GRID(grid), carsLabel, 0, row * 2, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), carsBox_, 1, row * 2, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), carsError_, 1, row++ * 2 + 1, 1, 1);
  fields_[Field::car] = {carsBox_, carsError_};

  // TRANSLATORS: Kelvo window, set-up form: writes the settings and starts the feed.
  saveButton_ = mnemonicButton(L("_Save"));
  gtk_widget_add_css_class(saveButton_, "suggested-action");
  gtk_widget_set_halign(saveButton_, GTK_ALIGN_START);
  g_signal_connect_swapped(saveButton_, "clicked", G_CALLBACK(+[](AppWindow* self) { self->save(); }), this);
  gtk_grid_attach(GTK_GRID(grid), saveButton_, 1, row * 2, 1, 1);
  outcome_ = gtk_label_new(nullptr);
  gtk_label_set_selectable(GTK_LABEL(outcome_), TRUE);
  gtk_label_set_wrap(GTK_LABEL(outcome_), TRUE);
  gtk_label_set_xalign(GTK_LABEL(outcome_), 0);
  gtk_grid_attach(GTK_GRID(grid), outcome_, 1, row * 2 + 1, 1, 1);
  GtkWidget* scrolled = gtk_scrolled_window_new();
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), grid);
  return scrolled;
}

namespace {

// Where `value` is in `values`, the first when it is not there.
template <class T>
guint indexIn(const std::vector<T>& values, T value) {
  const auto found = std::find(values.begin(), values.end(), value);
  return found == values.end() ? 0 : guint(found - values.begin());
}

// The value a drop-down list of `values` shows picked.
template <class T>
T pickedIn(const std::vector<T>& values, GtkWidget* list) {
  return values[std::min<std::size_t>(gtk_drop_down_get_selected(GTK_DROP_DOWN(list)), values.size() - 1)];
}

GtkWidget* choice(const std::vector<std::string>& names, guint selected) {
  std::vector<const char*> items;
  for (const auto& name : names) items.push_back(name.c_str());
  items.push_back(nullptr);
  GtkWidget* list = gtk_drop_down_new_from_strings(items.data());
  gtk_drop_down_set_selected(GTK_DROP_DOWN(list), selected);
  return list;
}

GtkWidget* labelled(GtkGrid* grid, int row, const std::string& text, GtkWidget* field) {
  GtkWidget* label = gtk_label_new_with_mnemonic(text.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 1);
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), field);
  gtk_accessible_update_relation(GTK_ACCESSIBLE(field), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr,
                                 -1);
  gtk_widget_set_hexpand(field, TRUE);
  gtk_grid_attach(grid, label, 0, row, 1, 1);
  gtk_grid_attach(grid, field, 1, row, 1, 1);
  return field;
}

}  // namespace

GtkWidget* AppWindow::buildDesktopPage() {
  desktop::Settings settings;
  (void)desktop::applyConfigFile(desktop::defaultConfigFile(), desktop::configGroup(std::nullopt), settings);
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                      gtk_widget_set_margin_end})
    margin(grid, 18);
  std::vector<std::string> sizes;
  for (const ui::WidgetFamily family : sizes_) sizes.push_back(desktop::familyLabel(family));
  // TRANSLATORS: Kelvo window, desktop widget settings: the widget's size.
  size_ = labelled(GTK_GRID(grid), 0, L("Si_ze"), choice(sizes, indexIn(sizes_, settings.family)));
  std::vector<std::string> corners;
  for (const desktop::Anchor anchor : desktop::anchorsInOrder())
    corners.push_back(desktop::anchorLabel(anchor));
  // TRANSLATORS: Kelvo window, desktop widget settings: where on the screen the widget sits.
  corner_ = labelled(GTK_GRID(grid), 1, L("Cor_ner"),
                     choice(corners, indexIn(desktop::anchorsInOrder(), settings.anchor)));
  marginX_ = gtk_spin_button_new_with_range(0, 10000, 1);
  marginY_ = gtk_spin_button_new_with_range(0, 10000, 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(marginX_), settings.margin.x);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(marginY_), settings.margin.y);
  // TRANSLATORS: Kelvo window, desktop widget settings: pixels from the left or right edge.
  labelled(GTK_GRID(grid), 2, L("_Margin from the side"), marginX_);
  // TRANSLATORS: Kelvo window, desktop widget settings: pixels from the top or bottom edge.
  labelled(GTK_GRID(grid), 3, L("Margin from the top or bott_om"), marginY_);
  std::vector<std::string> appearances;
  for (const desktop::AppearanceChoice choice : desktop::appearancesInOrder())
    appearances.push_back(desktop::appearanceLabel(choice));
  // TRANSLATORS: Kelvo window, desktop widget settings: light or dark colours.
  appearance_ = labelled(GTK_GRID(grid), 4, L("_Appearance"),
                         choice(appearances, indexIn(desktop::appearancesInOrder(), settings.appearance)));
  GtkWidget* save = mnemonicButton(L("_Save"));
  gtk_widget_set_halign(save, GTK_ALIGN_START);
  g_signal_connect_swapped(save, "clicked", G_CALLBACK(+[](AppWindow* self) { self->saveDesktop(); }), this);
  gtk_grid_attach(GTK_GRID(grid), save, 1, 5, 1, 1);
  desktopOutcome_ = gtk_label_new(nullptr);
  gtk_label_set_wrap(GTK_LABEL(desktopOutcome_), TRUE);
  gtk_label_set_xalign(GTK_LABEL(desktopOutcome_), 0);
  gtk_grid_attach(GTK_GRID(grid), desktopOutcome_, 1, 6, 1, 1);
  return grid;
}

void AppWindow::saveDesktop() {
  const std::string margin = std::to_string(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(marginX_))) +
                             "," +
                             std::to_string(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(marginY_)));
  const auto problem = desktop::rememberValues(
      desktop::defaultConfigFile(), desktop::configGroup(std::nullopt),
      {{"family", desktop::familyName(pickedIn(sizes_, size_))},
       {"anchor", desktop::anchorName(pickedIn(desktop::anchorsInOrder(), corner_))},
       {"margin", margin},
       {"appearance", desktop::appearanceName(pickedIn(desktop::appearancesInOrder(), appearance_))}});
  if (problem) log(*problem, LogEscape::done);  // the desktop's settings escape their values
  gtk_label_set_text(
      GTK_LABEL(desktopOutcome_),
      problem
          // TRANSLATORS: Kelvo window, desktop widget settings: desktop.ini could not be written.
          ? L("The desktop widget's settings could not be saved.").c_str()
          // TRANSLATORS: Kelvo window, desktop widget settings: saved; the running widget follows.
          : L("Saved. A running desktop widget takes them up at once.").c_str());
}

void AppWindow::reload() {
  timeline_ = provider_.timeline({kFamily, false});
  redraw();
}

void AppWindow::redraw() {
  if (!timeline_ || timeline_->entries.empty() || !window_) return;
  const ui::Appearance appearance = adw_style_manager_get_dark(adw_style_manager_get_default())
                                        ? ui::Appearance::dark
                                        : ui::Appearance::light;
  if (!text_) {
    auto made = ui::PangoTextMeasurer::create();
    if (!made) {
      log("cannot measure text: " + made.error().message);
      return;
    }
    text_ = *made;
  }
  apps::HostFrame frame = apps::layOutFrame(*timeline_, kFamily, Date::now(), appearance, *text_);
  const widget::CarEntry& entry = frame.entry;
  layout_ = std::move(frame.layout);
  gtk_widget_set_size_request(drawing_, int(std::ceil(layout_->widgetSize.width)),
                              int(std::ceil(layout_->widgetSize.height)));
  const widget::CarPresentation::Context context = widget::CarPresentation::Context::of(frame.environment);
  gtk_accessible_update_property(GTK_ACCESSIBLE(drawing_), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                 carSummary(entry, context).c_str(), -1);
  std::string text;
  // Each value isolated, so that a time or a number keeps its own direction in a right-to-left line.
  for (const DetailLine& line : carDetails(entry, context, sourceText()))
    text += line.label + ": \u2068" + line.value + "\u2069\n";
  gtk_label_set_text(GTK_LABEL(details_), text.substr(0, text.size() - 1).c_str());
  updateDetails();
  gtk_widget_queue_draw(drawing_);
  refresh_.schedule(*timeline_);
}

void AppWindow::updateDetails() {
  const auto settings = savedSettings(paths_.feedConfig);
  std::string health;
  if (!settings) {
    // TRANSLATORS: Kelvo window, data source health: there is no feed.ini.
    health = L("No data source is set up.");
  } else {
    // TRANSLATORS: Kelvo window, data source health: the broker the feed reads from.
    health = L("Feed:") + " " + presetTitle(settings->preset) + ", " + settings->broker + "\n";
    const std::string state = unitState("kelvo-feed.service");
    // TRANSLATORS: Kelvo window, data source health: the feed's systemd service state follows.
    if (!state.empty()) health += L("Service:") + " " + state + "\n";
    // Without systemd, the feed's own word in the shared directory.
    const auto status = sharedDirectory_ ? feed::readFeedStatus(*sharedDirectory_)
                                         : Result<feed::FeedStatus>(Error{"no shared directory"});
    if (!status || !feed::isRunning(status->pid)) {
      // TRANSLATORS: Kelvo window, data source health: no kelvo-feed process runs.
      health += L("kelvo-feed is not running.");
    } else {
      health +=
          status->connected
              // TRANSLATORS: Kelvo window, data source health: the feed runs and is logged in to the broker.
              ? L("kelvo-feed is running and connected.")
              // TRANSLATORS: Kelvo window, data source health: the feed runs but has no broker connection.
              : L("kelvo-feed is running but not connected to the broker.");
      if (status->lastMessage) {
        // TRANSLATORS: Kelvo window, feed health: when it last received a message; a time follows.
        health += "\n" + L("Last message:") + " " + formatInternetDateTime(*status->lastMessage);
      }
      if (status->lastWrite) {
        // TRANSLATORS: Kelvo window, feed health: when it last wrote the snapshot; a time follows.
        health += "\n" + L("Last write:") + " " + formatInternetDateTime(*status->lastWrite);
      }
    }
    // TRANSLATORS: Kelvo window, data source health: the feed's last logged problem follows.
    if (status && !status->lastError.empty()) health += "\n" + L("Last error:") + " " + status->lastError;
  }
  gtk_label_set_text(GTK_LABEL(health_), health.c_str());
  gtk_widget_set_visible(dashboardButton_, settings && settings->dashboard);
}

std::string AppWindow::sourceText() const {
  if (const auto settings = savedSettings(paths_.feedConfig))
    return "kelvo-feed, " + presetTitle(settings->preset) + ", " + settings->broker;
  // TRANSLATORS: Kelvo window's details: the data was saved by the command-line writer, not the feed.
  return L("written by kelvo save");
}

void AppWindow::onDraw(GtkDrawingArea*, cairo_t* cr, int, int, gpointer self) {
  auto* window = static_cast<AppWindow*>(self);
  if (window->layout_ && window->text_) ui::paintLayout(cr, *window->layout_, *window->text_);
}

void AppWindow::watchSharedDirectory() {
  if (!sharedDirectory_) return;
  std::error_code error;
  std::filesystem::create_directories(*sharedDirectory_, error);
  GFile* file = g_file_new_for_path(sharedDirectory_->c_str());
  monitor_ = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
  g_object_unref(file);
  if (monitor_) g_signal_connect(monitor_, "changed", G_CALLBACK(onDirectoryChanged), this);
}

void AppWindow::onDirectoryChanged(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent, gpointer self) {
  auto* window = static_cast<AppWindow*>(self);
  if (!window->settleSource_) window->settleSource_ = g_timeout_add(kSettleMilliseconds, onSettled, window);
}

gboolean AppWindow::onSettled(gpointer self) {
  auto* window = static_cast<AppWindow*>(self);
  window->settleSource_ = 0;
  window->reload();
  return G_SOURCE_REMOVE;
}

FormInput AppWindow::formInput() const {
  const auto text = [this](Field field) {
    return std::string(gtk_editable_get_text(GTK_EDITABLE(fields_.at(field).entry)));
  };
  FormInput input;
  input.source = Source(std::min<guint>(gtk_drop_down_get_selected(GTK_DROP_DOWN(source_)), 2));
  input.prefix = text(Field::prefix);
  input.topic = text(Field::topic);
  input.broker = text(Field::broker);
  input.username = text(Field::username);
  input.password = text(Field::password);
  input.dashboard = text(Field::dashboard);
  return input;
}

void AppWindow::clearErrors() {
  for (auto& [field, row] : fields_) {
    gtk_label_set_text(GTK_LABEL(row.error), "");
    gtk_widget_set_visible(row.error, FALSE);
  }
  gtk_label_set_text(GTK_LABEL(outcome_), "");
}

void AppWindow::showError(const FieldError& error) {
  log("form: " + error.sentence);
  const FieldRow& row = fields_.at(error.field);
  gtk_label_set_text(GTK_LABEL(row.error), error.sentence.c_str());
  gtk_widget_set_visible(row.error, TRUE);
  gtk_accessible_update_state(GTK_ACCESSIBLE(row.entry), GTK_ACCESSIBLE_STATE_INVALID,
                              GTK_ACCESSIBLE_INVALID_TRUE, -1);
}

namespace {

struct DiscoveryJob {
  feed::ClientOptions options;
  std::string prefix;
};

}  // namespace

void AppWindow::connect() {
  clearErrors();
  FormInput input = formInput();
  const feed::FeedSettings saved = savedSettings(paths_.feedConfig).value_or(feed::FeedSettings{});
  // Set up before: an empty password field means the saved password.
  if (input.password.empty() && saved.passwordFile && !input.username.empty()) {
    if (auto password = feed::readPasswordFile(*saved.passwordFile)) input.password = *password;
  }
  auto options = connectOptions(input, saved);
  if (auto* error = std::get_if<FieldError>(&options)) return showError(*error);
  gtk_widget_set_sensitive(connectButton_, FALSE);
  // TRANSLATORS: Kelvo window, set-up form: shown while logging in to the broker.
  gtk_label_set_text(GTK_LABEL(outcome_), L("Connecting…").c_str());
  if (discovery_) g_object_unref(discovery_);
  discovery_ = g_cancellable_new();
  GTask* task = g_task_new(nullptr, discovery_, onDiscovered, this);
  g_task_set_task_data(task, new DiscoveryJob{std::get<feed::ClientOptions>(options), input.prefix},
                       [](gpointer job) { delete static_cast<DiscoveryJob*>(job); });
  g_task_run_in_thread(task, [](GTask* task, gpointer, gpointer data, GCancellable*) {
    const auto* job = static_cast<DiscoveryJob*>(data);
    g_task_return_pointer(task, new feed::Discovery(feed::discoverCars(job->options, job->prefix)),
                          [](gpointer result) { delete static_cast<feed::Discovery*>(result); });
  });
  g_object_unref(task);
}

void AppWindow::onDiscovered(GObject*, GAsyncResult* result, gpointer self) {
  GTask* task = G_TASK(result);
  std::unique_ptr<feed::Discovery> discovery(
      static_cast<feed::Discovery*>(g_task_propagate_pointer(task, nullptr)));
  // Cancelled: the window is gone.
  if (!discovery || g_cancellable_is_cancelled(g_task_get_cancellable(task))) return;
  static_cast<AppWindow*>(self)->connected(*discovery);
}

void AppWindow::connected(const feed::Discovery& discovery) {
  gtk_widget_set_sensitive(connectButton_, TRUE);
  gtk_label_set_text(GTK_LABEL(outcome_), "");
  for (auto& [row, car] : carButtons_) gtk_list_box_remove(GTK_LIST_BOX(carsBox_), row);
  carButtons_.clear();
  if (const auto* failure = std::get_if<feed::DiscoveryFailure>(&discovery)) {
    log("Connect: " + failure->detail);
    return showError(explain(*failure));
  }
  const auto& cars = std::get<std::vector<feed::FoundCar>>(discovery);
  for (const feed::FoundCar& car : cars) {
    GtkWidget* label = gtk_label_new(carLabel(car).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                        gtk_widget_set_margin_end})
      margin(label, 8);
    GtkWidget* row = gtk_list_box_row_new();
    gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), label);
    gtk_accessible_update_property(GTK_ACCESSIBLE(row), GTK_ACCESSIBLE_PROPERTY_LABEL, carLabel(car).c_str(),
                                   -1);
    gtk_list_box_append(GTK_LIST_BOX(carsBox_), row);
    carButtons_.emplace_back(row, car);
  }
  if (cars.empty() && formInput().source != Source::snapshot) {
    const std::string none =
        // TRANSLATORS: Kelvo window, set-up form: logged in, but no TeslaMate or evcc car was published.
        L("Logged in, but no TeslaMate or evcc car is on this broker; check the topic prefix.");
    showError({Field::car, none});
  } else if (cars.size() == 1) {
    gtk_list_box_select_row(GTK_LIST_BOX(carsBox_), GTK_LIST_BOX_ROW(carButtons_.front().first));
  }
  if (!cars.empty()) gtk_widget_grab_focus(carButtons_.front().first);
}

void AppWindow::save() {
  clearErrors();
  std::optional<feed::FoundCar> car;
  GtkListBoxRow* picked = gtk_list_box_get_selected_row(GTK_LIST_BOX(carsBox_));
  for (const auto& [row, found] : carButtons_)
    if (GTK_WIDGET(picked) == row) car = found;
  const FormInput input = formInput();
  auto settings = settingsFor(input, car, paths_.passwordFile,
                              savedSettings(paths_.feedConfig).value_or(feed::FeedSettings{}));
  if (auto* error = std::get_if<FieldError>(&settings)) return showError(*error);
  const auto& chosen = std::get<feed::FeedSettings>(settings);
  if (chosen.passwordFile && !input.password.empty()) {
    if (auto ok = feed::writePasswordFile(paths_.passwordFile, input.password); !ok) {
      log(ok.error().message);
      // TRANSLATORS: Kelvo window, set-up form: the password file could not be written.
      return showError({Field::password, L("The password could not be saved.")});
    }
  }
  if (auto ok = feed::writeConfigFile(paths_.feedConfig, chosen); !ok) {
    log(ok.error().message);
    const std::string failed =
        // TRANSLATORS: Kelvo window, set-up form: feed.ini could not be written; the file's path follows.
        L("The settings could not be saved to") + " " + paths_.feedConfig.string() + ".";
    gtk_label_set_text(GTK_LABEL(outcome_), failed.c_str());
    return;
  }
  const UnitsOutcome units = enableAndRestart(kUnits);
  std::string outcome;
  if (units.done) {
    // TRANSLATORS: Kelvo window, set-up form: saved, and the feed and the desktop widget were started.
    outcome = L("Saved. The feed and the desktop widget are running and start with your session.");
  } else {
    log("cannot start the units: " + units.detail);
    // TRANSLATORS: Kelvo window, set-up form: saved, but the feed was not started; commands follow.
    outcome = L("Saved. Start the feed and the widget yourself:") +
              (units.noManager
                   ? std::string(" kelvo-feed & kelvo-desktop &")
                   : std::string(" systemctl --user enable --now kelvo-feed.service kelvo-desktop.service"));
  }
  gtk_label_set_text(GTK_LABEL(outcome_), outcome.c_str());
  log(outcome);
  reload();
}

void AppWindow::openDashboard() {
  const auto settings = savedSettings(paths_.feedConfig);
  if (!settings || !settings->dashboard) return;
  gtk_show_uri(GTK_WINDOW(window_), settings->dashboard->c_str(), GDK_CURRENT_TIME);
}

}  // namespace kelvo::app
