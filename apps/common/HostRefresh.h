#pragma once

// What the windowed hosts (the GTK 3 desktop widget and the GTK 4 window)
// share about drawing the widget and keeping it current: the entry laid out
// at an instant, and a GLib timer that wakes when what is drawn can next
// change. No toolkit: each host puts the layout on its own widget.

#include <glib.h>

#include <functional>

#include "KelvoShared/Date.h"
#include "KelvoUI/WidgetRenderer.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::apps {

// The entry current at `now`, laid out as a host draws it.
struct HostFrame {
  const widget::CarEntry& entry;
  ui::Environment environment;
  ui::WidgetLayout layout;
};
// The timeline must have an entry.
HostFrame layOutFrame(const widget::Timeline& timeline, ui::WidgetFamily family, Date now,
                      ui::Appearance appearance, ui::TextMeasurer& measurer);

// What a host does when its timer fires: a new timeline once the reload
// time has come (also after the clock jumped past it), else a redraw.
enum class Wake { reload, redraw };
Wake wakeAction(Date reloadAt, Date now);

// The timer's delay for a change at `at`: a millisecond past it, so that the
// texts have changed when it fires; none for an instant gone; at most a day.
guint wakeDelayMilliseconds(Date at, Date now);

// Wakes the host at the next instant at which what a timeline draws can
// change (widget::nextRefresh in the current language's age words).
class RefreshTimer {
 public:
  RefreshTimer(std::function<void()> reload, std::function<void()> redraw);
  ~RefreshTimer();
  RefreshTimer(const RefreshTimer&) = delete;
  RefreshTimer& operator=(const RefreshTimer&) = delete;

  // Arms the timer for `timeline`, replacing the one armed; an empty
  // timeline leaves it unarmed.
  void schedule(const widget::Timeline& timeline);
  void cancel();

 private:
  static gboolean onWake(gpointer self);

  std::function<void()> reload_;
  std::function<void()> redraw_;
  Date reloadAt_;
  guint source_ = 0;
};

}  // namespace kelvo::apps
