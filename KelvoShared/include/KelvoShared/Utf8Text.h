#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "KelvoBase/Utf8.h"

namespace kelvo {

// The first `count` user-perceived characters (extended grapheme clusters) of
// `text`, each cut to kMaxCharacterCodePoints, at most `maxBytes` bytes in
// all, never ending inside a character; shorter texts come back whole.
// Ill-formed UTF-8 is replaced by U+FFFD first.
std::string prefixGraphemes(std::string_view text, std::size_t count, std::size_t maxBytes = SIZE_MAX);

}  // namespace kelvo
