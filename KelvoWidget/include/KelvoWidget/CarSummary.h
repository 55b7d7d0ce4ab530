#pragma once

#include <optional>
#include <string>

#include "KelvoWidget/CarPresentation.h"

namespace kelvo::widget {

// What the faces show of a car, in one sentence for a screen reader to say:
// "64%, 318 km, Charging, Full in 1 hr, 35 min, Updated 2 min. ago". The
// parts are the presentation's own texts and the time to full in words a
// voice can say, joined with the language's comma.
std::string spokenSummary(const CarPresentation& car, const CarPresentation::Context& context);

// The sentence of an entry with a car; nothing for a problem, whose face
// says all there is.
std::optional<std::string> spokenSummary(const CarEntry& entry, const CarPresentation::Context& context);

}  // namespace kelvo::widget
