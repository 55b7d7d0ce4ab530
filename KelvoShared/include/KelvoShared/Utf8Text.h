#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

// True when `text` is well-formed UTF-8 (no overlongs, surrogates or bytes
// past U+10FFFF).
bool isValidUtf8(std::string_view text);

// `text` with every ill-formed UTF-8 sequence replaced by U+FFFD, so it can
// be shown and written as JSON.
std::string validUtf8(std::string_view text);

// The most code points prefixGraphemes keeps of one character: the marks
// after those (a letter can carry any number) are dropped.
inline constexpr std::size_t kMaxGraphemeCodePoints = 32;

// The first `count` user-perceived characters (extended grapheme clusters) of
// `text`, each cut to kMaxGraphemeCodePoints, at most `maxBytes` bytes in
// all, never ending inside a character; shorter texts come back whole.
// Ill-formed UTF-8 is replaced by U+FFFD first.
std::string prefixGraphemes(std::string_view text, std::size_t count, std::size_t maxBytes = SIZE_MAX);

}  // namespace kelvo
