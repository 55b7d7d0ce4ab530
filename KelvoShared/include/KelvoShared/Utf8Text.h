#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo {

// True when `text` is well-formed UTF-8 (no overlongs, surrogates or bytes
// past U+10FFFF).
bool isValidUtf8(std::string_view text);

// `text` with every ill-formed UTF-8 sequence replaced by U+FFFD, so it can
// be shown and written as JSON.
std::string validUtf8(std::string_view text);

// The first `count` user-perceived characters (extended grapheme clusters) of
// `text`, never ending inside a character; shorter texts come back whole.
// Ill-formed UTF-8 is replaced by U+FFFD first.
std::string prefixGraphemes(std::string_view text, std::size_t count);

}  // namespace kelvo
