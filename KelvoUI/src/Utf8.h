#pragma once

#include <string>

namespace kelvo::ui {

// The text with every ill-formed UTF-8 sequence and every noncharacter
// (U+FDD0..U+FDEF and the last two code points of each plane) replaced by
// U+FFFD, so Pango, Cairo's PDF writer and JSON get text they accept
// whatever the views were given.
std::string validUtf8(const std::string& text);

}  // namespace kelvo::ui
