#pragma once

// The car's state as one line for status bars (Waybar, i3blocks, any bar
// that shows a command's output). The texts come from the widget's own
// presentation: the same percentage, range, status and relative times, cut to
// a bar's length and cleared of control characters.

#include <unicode/locid.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "KelvoShared/Date.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoUI/Style.h"
#include "KelvoWidget/CarEntry.h"

namespace kelvo::host {

// How a bar is told about the state.
enum class StatusFormat {
  text,      // the line alone
  waybar,    // one JSON object: text, tooltip, class, percentage
  i3blocks,  // full text, short text and colour, one per line
};

struct StatusFormatInfo {
  StatusFormat format;
  std::string_view name;  // on the command line
  std::string_view help;  // a few words, for --help and the manual
};
inline constexpr std::array<StatusFormatInfo, 3> kStatusFormats{{
    {StatusFormat::text, "text", "the line alone"},
    {StatusFormat::waybar, "waybar", "a Waybar custom module's JSON"},
    {StatusFormat::i3blocks, "i3blocks", "full text, short text, colour"},
}};

// What a bar shows for one entry at one moment.
struct StatusLine {
  std::string text;  // "64% · 318 km · Charging · 1h35m"; the age instead of the time to full when stale
  std::string shortText;           // "64% · 318 km"; the no-data title without a snapshot
  std::string tooltip;             // the large widget's lines: title, status, fields, "Updated ..."
  std::string cssClass;            // charging, low, driving, idle, nodata or error
  bool stale = false;              // the data is older than CarProvider::kStaleAfter (Waybar's class "stale")
  std::optional<int> percentage;   // the charge, rounded and clamped to 0...100; none without a snapshot
  std::optional<ui::Color> color;  // the battery bar's tint; none without a snapshot
};

// Characters (and bytes) of each text from the snapshot that a line keeps:
// the rest is cut at a character's end and replaced by an ellipsis, so any
// snapshot gives a line of a few hundred characters and a tooltip of a few
// lines of that length.
inline constexpr std::size_t kStatusTextCharacters = 64;
inline constexpr std::size_t kStatusTextBytes = 256;

// The line for `entry` at `now`: numbers in `locale`, the data's age in
// `ageLocale` (relativeTimeLocale()), texts in the process's gettext language.
// Every text is printableText(): no control character reaches a bar.
StatusLine statusLine(const widget::CarEntry& entry, Date now, const icu::Locale& locale,
                      const icu::Locale& ageLocale);

// Whether the output is a one-off answer or one update of a running stream.
enum class StatusOutput {
  once,    // the format's whole answer
  stream,  // one line per update (i3blocks' persistent blocks read the full text only)
};

// The bytes to print, ending in a newline. Stale data has Waybar's classes
// ["<class>", "stale"] and i3blocks' colour dimmed.
std::string formatStatus(const StatusLine& line, StatusFormat format, StatusOutput output);

// The age texts a format shows: the line's narrow one, and Waybar's tooltip's
// abbreviated one. For widget::nextRefresh.
std::vector<ui::RelativeUnitsStyle> statusAgeStyles(StatusFormat format);

}  // namespace kelvo::host
