#include "KelvoShared/WidgetSnapshot.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "KelvoShared/Utf8Text.h"

namespace kelvo {

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  // Ill-formed bytes have no characters to be equivalent by; such texts are
  // equal only byte for byte (which was tested above).
  if (!isValidUtf8(a) || !isValidUtf8(b)) return false;
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) return false;
  const auto decomposed = [&](std::string_view text) {
    return nfd->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size()))),
        status);
  };
  const icu::UnicodeString left = decomposed(a);
  const icu::UnicodeString right = decomposed(b);
  return U_SUCCESS(status) && left == right;
}

namespace {

bool equalTexts(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || canonicallyEqual(*a, *b);
}

}  // namespace

bool operator==(const WidgetSnapshot& a, const WidgetSnapshot& b) {
  // Field order; NaN != NaN comes from the floating-point comparison itself.
  return a.batteryPercentage == b.batteryPercentage && a.rangeKm == b.rangeKm &&
         canonicallyEqual(a.statusKey, b.statusKey) && a.isDriving == b.isDriving &&
         a.isPluggedIn == b.isPluggedIn && a.fullInMinutes == b.fullInMinutes &&
         a.chargingPowerWatts == b.chargingPowerWatts && equalTexts(a.carTitle, b.carTitle) &&
         equalTexts(a.modelName, b.modelName) && equalTexts(a.registrationNo, b.registrationNo) &&
         a.odometerKm == b.odometerKm && a.carReportedAt == b.carReportedAt && a.writtenAt == b.writtenAt &&
         a.unit == b.unit && a.hasImage == b.hasImage;
}

bool WidgetSnapshot::isCharging() const { return statusKey == "CHARGING" || statusKey == "SMART_CHARGING"; }

bool WidgetSnapshot::sameData(const WidgetSnapshot& other) const {
  WidgetSnapshot copy = *this;
  copy.writtenAt = other.writtenAt;
  return copy == other;
}

}  // namespace kelvo
