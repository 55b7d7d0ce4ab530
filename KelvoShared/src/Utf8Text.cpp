#include "KelvoShared/Utf8Text.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

namespace kelvo {

bool isValidUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  if (static_cast<std::size_t>(length) != text.size()) return false;
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::string validUtf8(std::string_view text) {
  if (isValidUtf8(text)) return std::string(text);
  std::string out;
  icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())))
      .toUTF8String(out);
  return out;
}

std::string prefixGraphemes(std::string_view text, std::size_t count) {
  const std::string valid = validUtf8(text);
  // No text of at most `count` bytes can hold more than `count` characters.
  if (valid.size() <= count) return valid;

  const icu::UnicodeString units = icu::UnicodeString::fromUTF8(valid);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !breaks) {
    // Without break data, cut at code points: still never inside a character's bytes.
    const std::int32_t end = units.moveIndex32(0, static_cast<std::int32_t>(count));
    std::string out;
    units.tempSubString(0, end).toUTF8String(out);
    return out;
  }
  breaks->setText(units);
  std::int32_t end = breaks->first();
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t next = breaks->next();
    if (next == icu::BreakIterator::DONE) return valid;
    end = next;
  }
  std::string out;
  units.tempSubString(0, end).toUTF8String(out);
  return out;
}

}  // namespace kelvo
