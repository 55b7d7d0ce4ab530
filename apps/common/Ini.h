#pragma once

// A small, strict reader for the programs' configuration files: "[group]"
// headers, "key = value" lines, blank lines and "#" or ";" comment lines.
// Anything else is an error naming the line.

#include <string>
#include <string_view>
#include <vector>

#include "KelvoBase/Result.h"

namespace kelvo::apps {

struct IniEntry {
  std::string group;  // the group the line is in ("" before the first header)
  std::string key;    // the text before "=", blanks trimmed
  std::string value;  // the text after "=", blanks trimmed (may be empty)
  int line = 0;       // 1-based line number in the file
};

// The entries in file order. Errors read "N: what" (N the line); a key given twice
// in one group, a key outside any group, and invalid UTF-8 are errors.
Result<std::vector<IniEntry>> parseIni(std::string_view text);

// `text` with `key` in `group` set to `value`, every other line (comments,
// blank lines, other groups) kept as written: the key's line is rewritten
// in place, a new key goes after the group's last entry, a new group at the
// end. Refuses text parseIni refuses (with its "N: what") and a value or
// name that would not read back (a line break, brackets in the group).
Result<std::string> setIniValue(std::string_view text, std::string_view group, std::string_view key,
                                std::string_view value);

}  // namespace kelvo::apps
