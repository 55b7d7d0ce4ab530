#include "KelvoShared/CarFormat.h"

#include <unicode/numberformatter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cmath>

#include "KelvoShared/Localization.h"

namespace kelvo {

namespace {

// The formatter's text, or nothing when ICU fails or gives no text.
std::string formattedText(const icu::number::FormattedNumber& number, UErrorCode& status) {
  icu::UnicodeString text = number.toString(status);
  std::string utf8;
  if (U_SUCCESS(status)) text.toUTF8String(utf8);
  return utf8;
}

}  // namespace

std::string CarFormat::humanStatus(std::string_view key) {
  // Literal keys, so xgettext finds every name.
  // TRANSLATORS: Charging state: the car is charging.
  if (key == "CHARGING") return L("Charging");
  // TRANSLATORS: Charging state: plugged in or parked, neither charging nor discharging.
  if (key == "IDLE") return L("Idle");
  // TRANSLATORS: Charging state: charging has finished.
  if (key == "DONE") return L("Done");
  // TRANSLATORS: Charging state: the battery gives power to something outside the car.
  if (key == "DISCHARGING") return L("Discharging");
  // TRANSLATORS: Charging state: charging stopped because of an error.
  if (key == "ERROR") return L("Error");
  // TRANSLATORS: Charging state: the charging equipment reports a fault.
  if (key == "FAULT") return L("Fault");
  // TRANSLATORS: Charging state: charging will start at a scheduled time.
  if (key == "SCHEDULED") return L("Scheduled");
  // TRANSLATORS: Charging state: the car charges when electricity is cheapest or greenest.
  if (key == "SMART_CHARGING") return L("Smart charging");

  std::string spaced(key);
  for (char& c : spaced) {
    if (c == '_') c = ' ';
  }
  return capitalized(spaced);
}

std::string CarFormat::capitalized(std::string_view text) {
  const icu::UnicodeString source = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
  icu::UnicodeString result;
  int32_t index = 0;
  while (index < source.length()) {
    const int32_t start = index;
    const bool space = u_isUWhiteSpace(source.char32At(index));
    while (index < source.length() && static_cast<bool>(u_isUWhiteSpace(source.char32At(index))) == space) {
      index = source.moveIndex32(index, 1);
    }
    icu::UnicodeString run(source, start, index - start);
    // A whole word titlecased as one: its first letter (or digit, which stays
    // as it is) in title case, everything else lower case. Root locale: no
    // language-specific rules, like the key itself.
    if (!space) run.toTitle(nullptr, icu::Locale::getRoot(), U_TITLECASE_WHOLE_STRING);
    result += run;
  }
  std::string utf8;
  result.toUTF8String(utf8);
  return utf8;
}

std::string CarFormat::shortDuration(std::int64_t minutes) {
  if (minutes <= 59) return std::to_string(minutes) + "min";
  const std::int64_t hours = minutes / 60;
  const std::int64_t rest = minutes - 60 * hours;
  if (rest == 0) return std::to_string(hours) + "h";
  return std::to_string(hours) + "h" + std::to_string(rest) + "m";
}

std::string CarFormat::kilowatts(std::int64_t watts, const icu::Locale& locale) {
  const double kw = static_cast<double>(watts) / 1000.0;
  // Chosen from the unrounded value: 9.999 keeps its digit and shows "10.0".
  const int fractionDigits = kw < 10.0 ? 1 : 0;
  UErrorCode status = U_ZERO_ERROR;
  std::string text = formattedText(icu::number::NumberFormatter::withLocale(locale)
                                       .precision(icu::number::Precision::fixedFraction(fractionDigits))
                                       .roundingMode(UNUM_ROUND_HALFEVEN)
                                       .formatDouble(kw, status),
                                   status);
  if (text.empty()) text = std::to_string(static_cast<std::int64_t>(std::trunc(kw)));
  return text + " kW";
}

std::string CarFormat::distance(std::int64_t km, Grouping grouping, DistanceUnit unit,
                                const icu::Locale& locale) {
  const std::int64_t value = unit.convert(km);
  std::string text;
  if (grouping == Grouping::grouped) {
    UErrorCode status = U_ZERO_ERROR;
    text = formattedText(icu::number::NumberFormatter::withLocale(locale).formatInt(value, status), status);
  }
  if (text.empty()) text = std::to_string(value);
  text += ' ';
  text += unit.suffix();
  return text;
}

}  // namespace kelvo
