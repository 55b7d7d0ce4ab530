#include "KelvoShared/Utf8Text.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

namespace kelvo {

std::string prefixGraphemes(std::string_view text, std::size_t count, std::size_t maxBytes) {
  const std::string valid = validUtf8(text);
  // No text of at most n bytes holds more than n characters or code points.
  if (valid.size() <= std::min({count, kMaxCharacterCodePoints, maxBytes})) return valid;

  // Whole characters from the start while they fit `count` and `maxBytes`.
  std::string out;
  const auto append = [&](std::size_t start, std::size_t end) {
    const std::string_view character = clipCharacter(std::string_view(valid).substr(start, end - start));
    if (out.size() + character.size() > maxBytes) return false;
    out += character;
    return true;
  };
  // The break iterator reads the UTF-8 text in place: a text of one huge
  // character is read once and never copied whole.
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  UText* units = U_SUCCESS(status) && breaks
                     ? utext_openUTF8(nullptr, valid.data(), static_cast<std::int64_t>(valid.size()), &status)
                     : nullptr;
  if (units && U_SUCCESS(status)) breaks->setText(units, status);
  if (!units || U_FAILURE(status)) {
    // Without break data, cut at code points: still never inside a character's bytes.
    if (units) utext_close(units);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(valid.data());
    const auto length = static_cast<std::int32_t>(valid.size());
    std::int32_t start = 0;
    for (std::size_t i = 0; i < count && start < length; ++i) {
      std::int32_t end = start;
      U8_FWD_1(bytes, end, length);
      if (!append(static_cast<std::size_t>(start), static_cast<std::size_t>(end))) break;
      start = end;
    }
    return out;
  }
  std::int32_t start = breaks->first();
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t end = breaks->next();
    if (end == icu::BreakIterator::DONE) break;
    if (!append(static_cast<std::size_t>(start), static_cast<std::size_t>(end))) break;
    start = end;
  }
  breaks.reset();  // before the text it reads
  utext_close(units);
  return out;
}

}  // namespace kelvo
