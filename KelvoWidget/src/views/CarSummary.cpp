#include "KelvoWidget/CarSummary.h"

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>

#include <memory>
#include <vector>

#include "KelvoShared/Localization.h"

namespace kelvo::widget {
namespace {

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// "1 hr, 35 min": hours and minutes as the locale abbreviates them, which a
// voice says as words, where it would spell the face's "1h35m".
std::string spokenDuration(std::int64_t minutes, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::MeasureFormat> format(new icu::MeasureFormat(locale, UMEASFMT_WIDTH_SHORT, status));
  if (U_FAILURE(status)) return {};
  std::vector<icu::Measure> parts;
  if (minutes >= 60)
    parts.emplace_back(icu::Formattable(double(minutes / 60)), icu::MeasureUnit::createHour(status), status);
  if (minutes % 60 || parts.empty())
    parts.emplace_back(icu::Formattable(double(minutes % 60)), icu::MeasureUnit::createMinute(status),
                       status);
  icu::UnicodeString text;
  icu::FieldPosition position;
  format->formatMeasures(parts.data(), int32_t(parts.size()), text, position, status);
  return U_SUCCESS(status) ? utf8(text) : std::string();
}

std::string listed(const std::vector<std::string>& parts) {
  // TRANSLATORS: Between the parts of the one sentence a screen reader says
  // of the car ("64%, 318 km, Charging, Updated 8 min. ago"): your
  // language's comma and the space after it, if it takes one (Arabic,
  // Chinese and Japanese have commas of their own).
  const std::string separator = L(", ");
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : separator) + part;
  return joined;
}

}  // namespace

std::string spokenSummary(const CarPresentation& car, const CarPresentation::Context& context) {
  std::vector<std::string> parts{car.percentText, car.rangeText, car.statusText};
  if (car.fullInMinutes) {
    for (const Detail& detail : car.details) {
      if (detail.value == car.fullInText)
        parts.push_back(detail.label + " " + spokenDuration(*car.fullInMinutes, context.locale));
    }
  }
  parts.push_back(car.updatedLabel + " " + car.abbreviatedAgeText);
  return listed(parts);
}

std::optional<std::string> spokenSummary(const CarEntry& entry, const CarPresentation::Context& context) {
  if (const WidgetSnapshot* snapshot = entry.snapshot())
    return spokenSummary(CarPresentation::of(*snapshot, context), context);
  return std::nullopt;
}

}  // namespace kelvo::widget
