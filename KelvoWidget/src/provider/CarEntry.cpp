#include "KelvoWidget/CarEntry.h"

namespace kelvo::widget {

std::string describe(const CarEntry& entry, std::string (*quote)(std::string_view)) {
  if (const WidgetProblem* problem = entry.problem())
    return "no data (" + std::string(problem->caseName()) + ")";
  const std::string& status = entry.snapshot()->statusKey;
  return "snapshot " + (quote ? quote(status) : status) + (entry.carImage() ? " with picture" : "");
}

}  // namespace kelvo::widget
