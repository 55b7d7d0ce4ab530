#pragma once

#include <string>

#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

// What the faces show of a car, in one sentence for a screen reader to say:
// "64%, 318 km, Charging, Full in 1 hr, 35 min, Updated 2 min. ago". The
// parts are the presentation's own texts, the time to full in words a voice
// can say, joined as the locale lists units.
std::string spokenSummary(const CarPresentation& car, const CarPresentation::Context& context);

// The summary of an entry: a car's sentence, or the problem's texts (`shown`,
// as the face draws them) for an entry without one.
std::string spokenSummary(const CarEntry& entry, const CarPresentation::Context& context,
                          const std::string& shown);

}  // namespace kelvo::widget
