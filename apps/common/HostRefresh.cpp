#include "HostRefresh.h"

#include <algorithm>
#include <cmath>

#include "KelvoShared/Localization.h"
#include "KelvoWidget/HostEnvironment.h"
#include "KelvoWidget/KelvoWidgetBundle.h"
#include "KelvoWidget/RefreshSchedule.h"

namespace kelvo::apps {

HostFrame layOutFrame(const widget::Timeline& timeline, ui::WidgetFamily family, Date now,
                      ui::Appearance appearance, ui::TextMeasurer& measurer) {
  const widget::CarEntry& entry = widget::currentEntry(timeline, now);
  ui::Environment environment = widget::hostEnvironment(family, now, appearance);
  ui::WidgetLayout layout =
      ui::layoutWidget(widget::KelvoCarWidget::entryContent()(entry), environment, measurer);
  return {entry, std::move(environment), std::move(layout)};
}

Wake wakeAction(Date reloadAt, Date now) { return now >= reloadAt ? Wake::reload : Wake::redraw; }

guint wakeDelayMilliseconds(Date at, Date now) {
  return guint(std::clamp(std::ceil(at.timeIntervalSince(now) * 1000) + 1, 0.0, 86400e3));
}

RefreshTimer::RefreshTimer(std::function<void()> reload, std::function<void()> redraw)
    : reload_(std::move(reload)), redraw_(std::move(redraw)) {}

RefreshTimer::~RefreshTimer() { cancel(); }

void RefreshTimer::cancel() {
  if (source_ != 0) g_source_remove(source_);
  source_ = 0;
}

void RefreshTimer::schedule(const widget::Timeline& timeline) {
  cancel();
  if (timeline.entries.empty()) return;
  const Date now = Date::now();
  const widget::Refresh wake = widget::nextRefresh(timeline, now, {relativeTimeLocale()});
  reloadAt_ = timeline.policy.date;
  source_ = g_timeout_add(wakeDelayMilliseconds(wake.at, now), onWake, this);
}

gboolean RefreshTimer::onWake(gpointer self) {
  auto* timer = static_cast<RefreshTimer*>(self);
  timer->source_ = 0;
  // Either may arm the timer again.
  (wakeAction(timer->reloadAt_, Date::now()) == Wake::reload ? timer->reload_ : timer->redraw_)();
  return G_SOURCE_REMOVE;
}

}  // namespace kelvo::apps
