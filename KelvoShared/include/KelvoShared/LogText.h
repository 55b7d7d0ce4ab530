#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// `text` made safe for one line of a log on a terminal or in a journal: C0
// and C1 control characters, DEL, line and paragraph separators and
// bidirectional overrides become visible escapes ("\n", "\x1b", "\u{202e}"),
// a backslash becomes "\\", and each byte of ill-formed UTF-8 becomes "\xHH".
// Everything else, other scripts included, stays as it is.
std::string escapeForLog(std::string_view text);

}  // namespace kelvo
