#include "RedrawSchedule.h"

#include <cmath>

#include "KelvoUI/RelativeTime.h"
#include "KelvoWidget/DisplayRules.h"

namespace kelvo::desktop {

const widget::CarEntry& currentEntry(const widget::Timeline& timeline, Date now) {
  const widget::CarEntry* current = &timeline.entries.front();
  for (const widget::CarEntry& entry : timeline.entries) {
    if (entry.date <= now) current = &entry;
  }
  return *current;
}

std::optional<Date> nextAgeTextChange(const WidgetSnapshot& snapshot, Date now, Date limit,
                                      const icu::Locale& locale) {
  const double instant = widget::DisplayRules::reportInstant(snapshot).secondsSince1970;
  if (!std::isfinite(instant) || !std::isfinite(now.secondsSince1970)) return std::nullopt;
  const auto texts = [&](double at) {
    return ui::relativeTimeText(instant, at, ui::RelativeUnitsStyle::narrow, locale) + '\n' +
           ui::relativeTimeText(instant, at, ui::RelativeUnitsStyle::abbreviated, locale);
  };
  const std::string shown = texts(now.secondsSince1970);
  // A second past each whole minute of age, up to the limit: past the
  // rounding to whole seconds on both sides of the instant ("in 2m" turns
  // into "in 1m" just after 120 s). The reload is at most 15 minutes away,
  // so this stays a handful of probes.
  double minutes = std::floor((now.secondsSince1970 - instant - 1) / 60) + 1;
  for (int probes = 0; probes < 64; ++probes, ++minutes) {
    const double at = instant + minutes * 60 + 1;
    if (at <= now.secondsSince1970) continue;
    if (at >= limit.secondsSince1970) return std::nullopt;
    if (texts(at) != shown) return Date{at};
  }
  return std::nullopt;
}

Wake nextWake(const widget::Timeline& timeline, Date now, const icu::Locale& locale) {
  Wake wake{timeline.policy.date, Wake::Kind::reload};
  const auto earlier = [&wake](Date at) {
    if (at < wake.at) wake = {at, Wake::Kind::redraw};
  };
  for (const widget::CarEntry& entry : timeline.entries) {
    if (entry.date > now) {
      earlier(entry.date);
      break;
    }
  }
  if (timeline.entries.empty()) return wake;
  const widget::CarEntry& entry = currentEntry(timeline, now);
  if (const WidgetSnapshot* snapshot = entry.snapshot()) {
    if (const auto change = nextAgeTextChange(*snapshot, now, wake.at, locale)) earlier(*change);
  }
  return wake;
}

}  // namespace kelvo::desktop
