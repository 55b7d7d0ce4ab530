#pragma once

// The window's text under the drawn widget: every field of the snapshot as a
// label and a value, the data's age and where it came from; or what the
// widget's problem is. Display-free, so tests read it without a window.

#include <string>
#include <vector>

#include "KelvoWidget/CarEntry.h"
#include "KelvoWidget/CarPresentation.h"

namespace kelvo::app {

struct DetailLine {
  std::string label;  // localised
  std::string value;  // formatted for the locale
};

// `source` says where the data came from ("kelvo-feed from mqtt://…",
// "written by kelvo save"); it ends the list.
std::vector<DetailLine> carDetails(const widget::CarEntry& entry,
                                   const widget::CarPresentation::Context& context,
                                   const std::string& source);

// The one-sentence summary a screen reader says for the drawn widget:
// "64 %, 318 km, Charging, full in 1h35m, updated 2 min. ago".
std::string carSummary(const widget::CarEntry& entry, const widget::CarPresentation::Context& context);

}  // namespace kelvo::app
