#include "KelvoWidget/CarSummary.h"

#include <unicode/listformatter.h>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>

#include <memory>
#include <vector>

namespace kelvo::widget {
namespace {

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// "1 hr, 35 min": hours and minutes as the locale abbreviates them for
// speech, where the face's "1h35m" would be read letter by letter.
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

std::string listed(const std::vector<std::string>& parts, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::ListFormatter> format(
      icu::ListFormatter::createInstance(locale, ULISTFMT_TYPE_UNITS, ULISTFMT_WIDTH_SHORT, status));
  std::vector<icu::UnicodeString> items;
  for (const std::string& part : parts) items.push_back(icu::UnicodeString::fromUTF8(part));
  icu::UnicodeString text;
  if (U_SUCCESS(status)) format->format(items.data(), int32_t(items.size()), text, status);
  if (U_SUCCESS(status)) return utf8(text);
  std::string joined;  // no list data for the locale: plain commas
  for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
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
  return listed(parts, context.locale);
}

std::string spokenSummary(const CarEntry& entry, const CarPresentation::Context& context,
                          const std::string& shown) {
  if (const WidgetSnapshot* snapshot = entry.snapshot())
    return spokenSummary(CarPresentation::of(*snapshot, context), context);
  return shown;
}

}  // namespace kelvo::widget
