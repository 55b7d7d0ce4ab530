#pragma once

#include <gdk/gdk.h>

#include <string>
#include <vector>

namespace kelvo::desktop {

// An output's connector name ("HDMI-A-1") and its top-left corner in the
// compositor's logical space, where GDK places its monitors too.
struct WaylandOutput {
  std::string name;
  int x = 0, y = 0;
};

// The outputs as the compositor names them through xdg-output (GTK 3 keeps
// only the model name). Asked on a private event queue, so GTK's own events
// are not dispatched here. Empty when the display is not Wayland or the
// compositor has no xdg-output.
std::vector<WaylandOutput> waylandOutputs(GdkDisplay* display);

}  // namespace kelvo::desktop
