#pragma once

// The widget on the accessibility bus (GTK 3's ATK objects, which the AT-SPI
// bridge carries): the window holds one push button named "Kelvo" whose
// description summarises the car, whose children are the texts the views
// draw in reading order with their extents, and whose action opens the link.

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "KelvoUI/ReadingOrder.h"

namespace kelvo::desktop {

// A toplevel window whose accessible holds the widget's; `activate` runs
// when a reader activates it (from the main loop, after the request returns).
GtkWidget* newAccessibleWindow(std::function<void()> activate);

// What the widget's accessible says now: its texts (frames in widget points,
// the window's coordinates) and its one-sentence description. Readers are
// told of changes.
void updateAccessible(GtkWidget* window, std::vector<ui::ReadText> texts, const std::string& description);

}  // namespace kelvo::desktop
