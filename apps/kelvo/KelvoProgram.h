#pragma once

// kelvo's commands and options, one row each: the command line, --help,
// the manual page and the completions.

#include <optional>
#include <string>

#include "Options.h"

namespace kelvo::writer {

struct KelvoCommandLine {
  std::optional<std::string> sharedDir;  // --shared-dir, when given (never empty)
  std::string input = "-";               // FILE or "-" of save / save-image
  bool pretty = false;                   // show: indented JSON
};

// The table, its rows setting the fields of `target` (which must outlive it).
apps::Program kelvoProgram(KelvoCommandLine& target);

}  // namespace kelvo::writer
