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

}  // namespace kelvo::apps
