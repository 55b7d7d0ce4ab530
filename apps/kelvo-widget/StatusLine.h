#pragma once

// The car's state as one line for status bars (Waybar, i3blocks, any bar
// that shows a command's output). The texts come from the widget's own
// formatting: the same percentage, range, status and relative times.

#include <unicode/locid.h>

#include <optional>
#include <string>

#include "KelvoShared/Date.h"
#include "KelvoUI/Style.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::host {

// How a bar is told about the state.
enum class StatusFormat {
  text,      // the line alone
  waybar,    // one JSON object: text, tooltip, class, percentage
  i3blocks,  // full text, short text and colour, one per line
};

// What a bar shows for one entry at one moment.
struct StatusLine {
  std::string text;                // "64% · 318 km · Charging · 1h35m"
  std::string shortText;           // "64% · 318 km"; the no-data title without a snapshot
  std::string tooltip;             // the large widget's lines: title, status, fields, "Updated ..."
  std::string cssClass;            // charging, low, driving, idle, nodata or error
  std::optional<int> percentage;   // the charge, rounded and clamped to 0...100; none without a snapshot
  std::optional<ui::Color> color;  // the battery bar's tint; none without a snapshot
};

// The line for `entry` at `now`: numbers in `locale`, the data's age in
// `ageLocale` (relativeTimeLocale()), texts in the process's gettext language.
StatusLine statusLine(const widget::CarEntry& entry, Date now, const icu::Locale& locale,
                      const icu::Locale& ageLocale);

// Whether the output is a one-off answer or one update of a running stream.
enum class StatusOutput {
  once,    // the format's whole answer
  stream,  // one line per update (i3blocks' persistent blocks read the full text only)
};

// The bytes to print, ending in a newline.
std::string formatStatus(const StatusLine& line, StatusFormat format, StatusOutput output);

// The next instant after `now` at which the entry's age text may change: the
// next whole minute of age (the report instant plus a whole number of
// minutes), or one minute from now for an entry without a snapshot.
Date nextAgeTick(const widget::CarEntry& entry, Date now);

}  // namespace kelvo::host
