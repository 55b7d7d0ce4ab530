#pragma once

#include <string>
#include <string_view>

#include "KelvoBase/Utf8.h"

namespace kelvo::ui {

// The text with every ill-formed UTF-8 sequence and every noncharacter
// replaced by U+FFFD, so Pango, Cairo's PDF writer and JSON get text they
// accept whatever the views were given.
inline std::string validUtf8(std::string_view text) { return kelvo::validUtf8(text, Noncharacters::replace); }

}  // namespace kelvo::ui
