#pragma once

// When the desktop host wakes next. Between these instants it sleeps.

#include <unicode/locid.h>

#include <optional>

#include "KelvoShared/Date.h"
#include "KelvoShared/WidgetSnapshot.h"
#include "KelvoWidget/CarProvider.h"

namespace kelvo::desktop {

struct Wake {
  enum class Kind {
    redraw,  // draw the timeline again at this instant, without reading files
    reload,  // ask the provider for a new timeline
  };
  Date at;
  Kind kind = Kind::reload;

  friend bool operator==(const Wake&, const Wake&) = default;
};

// The entry to show at `now`: the last one whose date has come, else the
// first. The timeline must have an entry.
const widget::CarEntry& currentEntry(const widget::Timeline& timeline, Date now);

// The first instant after `now` and before `limit` at which the snapshot's
// relative age ("8m ago", narrow or abbreviated, in `locale`) reads
// differently than at `now`; nothing when it does not change before then.
// Only whole minutes of age are looked at (a second past each, so rounding
// has settled): below a minute the seconds are left to run until "1m ago"
// instead of redrawing every second, so the text is never more than a minute
// stale, and a change is seen at most a second late.
std::optional<Date> nextAgeTextChange(const WidgetSnapshot& snapshot, Date now, Date limit,
                                      const icu::Locale& locale);

// What comes first: the policy's reload, a later entry's date, or a change
// of the current entry's age text.
Wake nextWake(const widget::Timeline& timeline, Date now, const icu::Locale& locale);

}  // namespace kelvo::desktop
