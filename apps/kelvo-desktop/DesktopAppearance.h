#pragma once

// The desktop's light/dark preference, followed live: the freedesktop
// settings portal's org.freedesktop.appearance color-scheme when a portal
// answers, else GTK's own settings.

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <functional>

#include "KelvoUI/Style.h"

namespace kelvo::desktop {

class DesktopAppearance {
 public:
  // Calls `changed` whenever the preference changes after construction.
  explicit DesktopAppearance(std::function<void()> changed);
  DesktopAppearance(const DesktopAppearance&) = delete;
  DesktopAppearance& operator=(const DesktopAppearance&) = delete;
  ~DesktopAppearance();

  ui::Appearance current() const;
  // Where the answer comes from, for the log.
  const char* source() const { return portalScheme_ >= 0 ? "the settings portal" : "GTK's settings"; }

 private:
  static void onPortalSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal,
                             GVariant* parameters, gpointer self);
  static void onGtkSetting(GObject*, GParamSpec*, gpointer self);
  bool gtkPrefersDark() const;

  std::function<void()> changed_;
  GDBusConnection* bus_ = nullptr;
  guint subscription_ = 0;
  int portalScheme_ = -1;  // 0 no preference, 1 dark, 2 light; -1 no portal
  GtkSettings* settings_ = nullptr;
  gulong preferDarkHandler_ = 0, themeHandler_ = 0;
};

}  // namespace kelvo::desktop
