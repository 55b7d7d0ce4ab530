#include "DesktopAppearance.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kelvo::desktop {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettings = "org.freedesktop.portal.Settings";
constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";

// A session bus when the session has one. Without an address GLib would
// autolaunch a bus for the X display; a colour preference is not worth a daemon.
GDBusConnection* sessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  const bool hasBus =
      (address && *address) ||
      (runtime && *runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", error));
  if (!hasBus) return nullptr;
  return g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
}

// The portal wraps the value in one or two variants (Read vs. ReadOne); -1 when it is no uint32.
int schemeFrom(GVariant* value) {
  GVariant* inner = g_variant_ref(value);
  while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
    GVariant* unwrapped = g_variant_get_variant(inner);
    g_variant_unref(inner);
    inner = unwrapped;
  }
  const int scheme =
      g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32) ? int(g_variant_get_uint32(inner)) : -1;
  g_variant_unref(inner);
  return scheme;
}

}  // namespace

DesktopAppearance::DesktopAppearance(std::function<void()> changed) : changed_(std::move(changed)) {
  settings_ = gtk_settings_get_default();
  if (settings_) {
    preferDarkHandler_ = g_signal_connect(settings_, "notify::gtk-application-prefer-dark-theme",
                                          G_CALLBACK(onGtkSetting), this);
    themeHandler_ = g_signal_connect(settings_, "notify::gtk-theme-name", G_CALLBACK(onGtkSetting), this);
  }
  bus_ = sessionBus();
  if (!bus_) return;
  GVariant* reply = g_dbus_connection_call_sync(
      bus_, kPortal, kPortalPath, kSettings, "Read", g_variant_new("(ss)", kNamespace, kKey),
      G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
  if (!reply) return;  // no portal, or one without the appearance settings
  GVariant* value = g_variant_get_child_value(reply, 0);
  portalScheme_ = schemeFrom(value);
  g_variant_unref(value);
  g_variant_unref(reply);
  if (portalScheme_ < 0) return;
  subscription_ =
      g_dbus_connection_signal_subscribe(bus_, kPortal, kSettings, "SettingChanged", kPortalPath, kNamespace,
                                         G_DBUS_SIGNAL_FLAGS_NONE, onPortalSignal, this, nullptr);
}

DesktopAppearance::~DesktopAppearance() {
  if (settings_) {
    g_signal_handler_disconnect(settings_, preferDarkHandler_);
    g_signal_handler_disconnect(settings_, themeHandler_);
  }
  if (bus_) {
    if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    g_object_unref(bus_);
  }
}

bool DesktopAppearance::gtkPrefersDark() const {
  if (!settings_) return false;
  gboolean preferDark = FALSE;
  gchar* theme = nullptr;
  g_object_get(settings_, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name", &theme,
               nullptr);
  const std::string name = theme ? theme : "";
  g_free(theme);
  return preferDark || name.ends_with(":dark") || name.ends_with("-dark");
}

ui::Appearance DesktopAppearance::current() const {
  if (portalScheme_ == 1) return ui::Appearance::dark;
  if (portalScheme_ == 2) return ui::Appearance::light;
  return gtkPrefersDark() ? ui::Appearance::dark : ui::Appearance::light;
}

void DesktopAppearance::onPortalSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                       const gchar*, GVariant* parameters, gpointer self) {
  auto* appearance = static_cast<DesktopAppearance*>(self);
  const gchar* space = nullptr;
  const gchar* key = nullptr;
  GVariant* value = nullptr;
  g_variant_get(parameters, "(&s&sv)", &space, &key, &value);
  if (std::string(space) == kNamespace && std::string(key) == kKey) {
    const int scheme = schemeFrom(value);
    if (scheme >= 0 && scheme != appearance->portalScheme_) {
      appearance->portalScheme_ = scheme;
      appearance->changed_();
    }
  }
  g_variant_unref(value);
}

void DesktopAppearance::onGtkSetting(GObject*, GParamSpec*, gpointer self) {
  static_cast<DesktopAppearance*>(self)->changed_();
}

}  // namespace kelvo::desktop
