#include "CarDetails.h"

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/Date.h"
#include "KelvoShared/Localization.h"

namespace kelvo::app {

namespace {

std::string problemText(const widget::WidgetProblem& problem) {
  if (const std::string* message = problem.message())
    // TRANSLATORS: Kelvo window: the shared snapshot file cannot be read; the reason follows.
    return L("The car's data cannot be read:") + " " + *message;
  if (problem.caseName() == "noContainer")
    // TRANSLATORS: Kelvo window: the folder that the widget reads from is not there.
    return L("The shared folder is missing.");
  // TRANSLATORS: Kelvo window: no snapshot has been written yet.
  return L("No data yet: set the car up.");
}

}  // namespace

std::vector<DetailLine> carDetails(const widget::CarEntry& entry,
                                   const widget::CarPresentation::Context& context,
                                   const std::string& source) {
  std::vector<DetailLine> lines;
  // TRANSLATORS: Kelvo window's details: where the data came from.
  const std::string sourceLabel = L("Source");
  if (const widget::WidgetProblem* problem = entry.problem()) {
    // TRANSLATORS: Kelvo window's details: the widget's state when there is no data.
    lines.push_back({L("Status"), problemText(*problem)});
    return lines;
  }
  const WidgetSnapshot& snapshot = *entry.snapshot();
  const widget::CarPresentation car = widget::CarPresentation::of(snapshot, context);
  // TRANSLATORS: Kelvo window's details: the car's name.
  lines.push_back({L("Car"), car.title});
  // TRANSLATORS: Kelvo window's details: the car's model.
  if (car.modelName) lines.push_back({L("Model"), *car.modelName});
  // TRANSLATORS: Kelvo window's details: the licence plate.
  if (car.registrationNo) lines.push_back({L("Registration"), *car.registrationNo});
  // TRANSLATORS: Kelvo window's details: the charge level.
  lines.push_back({L("Battery"), car.percentText});
  // TRANSLATORS: Kelvo window's details: the remaining range.
  lines.push_back({L("Range"), car.rangeText});
  lines.push_back({L("Status"), car.statusText});
  for (const widget::Detail& detail : car.details) lines.push_back({detail.label, detail.value});
  lines.push_back({car.updatedLabel, car.abbreviatedAgeText});
  // TRANSLATORS: Kelvo window's details: when the snapshot file was written.
  lines.push_back({L("Written"), formatInternetDateTime(snapshot.writtenAt)});
  lines.push_back({sourceLabel, source});
  return lines;
}

std::string carSummary(const widget::CarEntry& entry, const widget::CarPresentation::Context& context) {
  if (const widget::WidgetProblem* problem = entry.problem()) return problemText(*problem);
  const widget::CarPresentation car = widget::CarPresentation::of(*entry.snapshot(), context);
  std::string summary = car.title + ": " + car.percentText + ", " + car.rangeText + ", " + car.statusText;
  // TRANSLATORS: Kelvo window: part of the spoken summary, before the time to full ("full in 1h35m").
  if (car.fullInText) summary += ", " + L("full in") + " " + *car.fullInText;
  return summary + ", " + car.updatedLabel + " " + car.abbreviatedAgeText;
}

}  // namespace kelvo::app
