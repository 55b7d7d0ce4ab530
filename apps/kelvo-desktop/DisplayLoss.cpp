#include "DisplayLoss.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#include <unistd.h>

#include <iostream>
#include <string>
#include <string_view>

#include "ExitCodes.h"
#include "KelvoShared/LogText.h"

namespace kelvo::desktop {

namespace {

void sayLost(std::string_view name, const std::string& why) {
  std::cerr << "kelvo-desktop: lost the display " << logValue(name) << " (" << why << ")" << std::endl;
}

#ifdef GDK_WINDOWING_X11
// Xlib ends the process when this returns; GDK's own handler ends it quietly.
int onX11ConnectionLost(Display* display) {
  sayLost(DisplayString(display), "the X server ended or closed the connection");
  _exit(apps::kExitFailure);
}
#endif

// GDK's messages just before it ends the process for a lost compositor.
bool isWaylandConnectionLoss(std::string_view message) {
  return message.starts_with("Error reading events from display") ||
         message.find("dispatching to Wayland display") != std::string_view::npos ||
         message.starts_with("Lost connection to Wayland compositor") ||
         message.starts_with("Error flushing display");
}

GLogWriterOutput writeLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
  std::string_view domain, message;
  for (gsize i = 0; i < count; ++i) {
    if (fields[i].length >= 0) continue;  // not a C string
    const auto* value = static_cast<const char*>(fields[i].value);
    if (g_strcmp0(fields[i].key, "GLIB_DOMAIN") == 0) domain = value;
    if (g_strcmp0(fields[i].key, "MESSAGE") == 0) message = value;
  }
  if (domain == "Gdk" && isWaylandConnectionLoss(message)) {
    const char* name = g_getenv("WAYLAND_DISPLAY");
    sayLost(name ? name : "wayland-0", logValue(message));
    return G_LOG_WRITER_HANDLED;
  }
  return g_log_writer_default(level, fields, count, data);
}

}  // namespace

void reportLostDisplay(GdkDisplay* display) {
#ifdef GDK_WINDOWING_X11
  if (GDK_IS_X11_DISPLAY(display)) {
    XSetIOErrorHandler(onX11ConnectionLost);
    return;
  }
#endif
  (void)display;
  g_log_set_writer_func(writeLog, nullptr, nullptr);
}

}  // namespace kelvo::desktop
