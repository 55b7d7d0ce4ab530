#pragma once

#include <gdk/gdk.h>

namespace kelvo::desktop {

// When the display server ends or drops the connection, GDK ends the process
// with status 1: without a word on X11, with a message of its own on Wayland.
// After this, either says "kelvo-desktop: lost the display NAME (why)" first.
// Call once, with the display just opened.
void reportLostDisplay(GdkDisplay* display);

}  // namespace kelvo::desktop
