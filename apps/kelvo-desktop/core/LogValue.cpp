#include "LogValue.h"

#include <algorithm>

#include "KelvoBase/Utf8.h"
#include "KelvoShared/LogText.h"

namespace kelvo::desktop {

std::string logValue(std::string_view text, std::size_t maxBytes) {
  std::string out;
  // A character at a time, so that neither a character nor its escape is cut
  // in two; a byte that begins no well-formed character is one of its own.
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = std::max<std::size_t>(1, utf8::sequenceLength(text, at));
    const std::string piece = escapeForLog(text.substr(at, length));
    if (out.size() + piece.size() > maxBytes) return out + "…";
    out += piece;
    at += length;
  }
  return out;
}

}  // namespace kelvo::desktop
