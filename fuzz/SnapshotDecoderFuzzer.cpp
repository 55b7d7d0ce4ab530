// Feeds arbitrary bytes to everything that reads snapshot.json: the decoder,
// the date parser and the message cut. Any crash, sanitizer report or broken
// invariant below is a finding.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "KelvoShared/Date.h"
#include "KelvoShared/Utf8Text.h"
#include "KelvoShared/WidgetSnapshot.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto decoded = kelvo::decodeSnapshot(text);
  if (decoded) {
    // Whatever decodes can be written, and what is written reads back to the
    // same text again.
    const auto encoded = kelvo::encodeSnapshot(*decoded);
    check(encoded.ok());
    const auto again = kelvo::decodeSnapshot(*encoded);
    check(again.ok());
    check(again->sameData(*decoded) ||
          decoded->writtenAt.secondsSince1970 != again->writtenAt.secondsSince1970 ||
          decoded->carReportedAt != again->carReportedAt);
    const auto reencoded = kelvo::encodeSnapshot(*again);
    check(reencoded.ok() && *reencoded == *encoded);
  } else {
    const std::string& message = decoded.error().message;
    check(!message.empty() && kelvo::isValidUtf8(message));
    const std::string cut = kelvo::prefixGraphemes(message, 120);
    check(kelvo::isValidUtf8(cut) && cut.size() <= message.size());
  }

  if (const auto date = kelvo::parseInternetDateTime(text)) {
    check(kelvo::isInternetDateTimeRepresentable(*date));
    const auto back = kelvo::parseInternetDateTime(kelvo::formatInternetDateTime(*date));
    check(back && back->secondsSince1970 <= date->secondsSince1970 &&
          date->secondsSince1970 - back->secondsSince1970 < 1);
  }

  const std::string cut = kelvo::prefixGraphemes(text, 7);
  check(kelvo::isValidUtf8(cut));
  return 0;
}
