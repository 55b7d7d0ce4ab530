#pragma once

// When what the widget draws can change next. Between these instants every
// host (the desktop, `run`, `status --watch`, a server's cache) may sleep or
// keep what it drew: nothing on any face reads differently before then.

#include <unicode/locid.h>

#include <vector>

#include "KelvoShared/Date.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoWidget/CarEntry.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::widget {

// What a host draws of an entry, as far as the passing of time changes it.
struct RefreshScope {
  icu::Locale ageLocale = icu::Locale("en", "US");  // words and digits of the age (relativeTimeLocale())
  // The age texts drawn: the small and medium faces and the bar line use the
  // narrow one ("8m ago"), the large face and the bar's tooltip the
  // abbreviated one ("8 min. ago").
  std::vector<ui::RelativeUnitsStyle> ageStyles{ui::RelativeUnitsStyle::narrow,
                                                ui::RelativeUnitsStyle::abbreviated};
};

// The next instant at which something drawn may change, and what changes.
struct Refresh {
  enum class Reason {
    ageText,  // an age text reads differently ("8m ago" becomes "9m ago")
    stale,    // the data turns stale (CarProvider::kStaleAfter)
    entry,    // a later entry of the timeline begins
    reload,   // the reload time: ask the provider for a new timeline
  };
  Date at;
  Reason reason = Reason::reload;

  friend bool operator==(const Refresh&, const Refresh&) = default;
};

// The entry to show at `now`: the last one whose date has come, else the
// first. The timeline must have an entry.
const CarEntry& currentEntry(const Timeline& timeline, Date now);

// The first instant after `now`, and no later than `reload`, at which
// anything drawn for `entry` within `scope` can change. Age texts are looked
// at whole minutes of age (a second past each, so rounding has settled):
// below a minute the seconds run on until "1m ago" rather than changing every
// second, so an age text is never more than a minute behind, and a change is
// seen at most a second late. An entry without a snapshot changes at `reload`.
Refresh nextRefresh(const CarEntry& entry, Date now, Date reload, const RefreshScope& scope = {});

// The same for a timeline: its current entry, the next entry's date, or the
// policy's reload, whichever comes first. An empty timeline reloads.
Refresh nextRefresh(const Timeline& timeline, Date now, const RefreshScope& scope = {});

}  // namespace kelvo::widget
