#include "KelvoWidget/RefreshSchedule.h"

#include <cmath>
#include <optional>
#include <string>

#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

namespace {

// Every age text of the scope at `at`, one per line.
std::string ageTexts(double reported, double at, const RefreshScope& scope) {
  std::string texts;
  for (const ui::RelativeUnitsStyle style : scope.ageStyles) {
    texts += ui::relativeTimeText(reported, at, style, scope.ageLocale);
    texts += '\n';
  }
  return texts;
}

// The first instant after `now` and before `limit` at which the age texts
// read differently than at `now`.
std::optional<Date> nextAgeTextChange(Date reported, Date now, Date limit, const RefreshScope& scope) {
  const double instant = reported.secondsSince1970;
  if (scope.ageStyles.empty() || !std::isfinite(instant) || !std::isfinite(now.secondsSince1970)) {
    return std::nullopt;
  }
  const std::string shown = ageTexts(instant, now.secondsSince1970, scope);
  // A second past each whole minute of age, up to the limit: past the
  // rounding to whole seconds on both sides of the instant ("in 2m" turns
  // into "in 1m" just after 120 s). The limit is at most a reload away, so
  // this stays a handful of probes.
  double minutes = std::floor((now.secondsSince1970 - instant - 1) / 60) + 1;
  for (int probes = 0; probes < 64; ++probes, ++minutes) {
    const double at = instant + minutes * 60 + 1;
    if (at <= now.secondsSince1970) continue;
    if (at >= limit.secondsSince1970) return std::nullopt;
    if (ageTexts(instant, at, scope) != shown) return Date{at};
  }
  return std::nullopt;
}

// The first change of the entry's drawing before `limit`, else `limit`.
Refresh nextChange(const CarEntry& entry, Date now, Refresh limit, const RefreshScope& scope) {
  const WidgetSnapshot* snapshot = entry.snapshot();
  if (!snapshot) return limit;
  Refresh next = limit;
  const Date reported = reportInstant(*snapshot);
  const Date stale = reported.addingTimeInterval(CarProvider::kStaleAfter);
  if (stale > now && stale < next.at) next = {stale, Refresh::Reason::stale};
  if (const std::optional<Date> change = nextAgeTextChange(reported, now, next.at, scope)) {
    next = {*change, Refresh::Reason::ageText};
  }
  return next;
}

}  // namespace

const CarEntry& currentEntry(const Timeline& timeline, Date now) {
  const CarEntry* current = &timeline.entries.front();
  for (const CarEntry& entry : timeline.entries) {
    if (entry.date <= now) current = &entry;
  }
  return *current;
}

Refresh nextRefresh(const CarEntry& entry, Date now, Date reload, const RefreshScope& scope) {
  return nextChange(entry, now, {reload, Refresh::Reason::reload}, scope);
}

Refresh nextRefresh(const Timeline& timeline, Date now, const RefreshScope& scope) {
  Refresh limit{timeline.policy.date, Refresh::Reason::reload};
  if (timeline.entries.empty()) return limit;
  for (const CarEntry& entry : timeline.entries) {
    if (entry.date > now) {
      if (entry.date < limit.at) limit = {entry.date, Refresh::Reason::entry};
      break;
    }
  }
  return nextChange(currentEntry(timeline, now), now, limit, scope);
}

}  // namespace kelvo::widget
