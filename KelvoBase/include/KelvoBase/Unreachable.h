#pragma once

#include <cstdio>
#include <cstdlib>

namespace kelvo {

// After a switch that handles every enumerator: reaching it means a value
// outside the enum arrived (a bad cast, corrupted memory), which is a bug to
// stop at, not a case to paper over with a default.
[[noreturn]] inline void unreachable(const char* where) {
  std::fprintf(stderr, "kelvo: unreachable code reached in %s\n", where);
  std::abort();
}

}  // namespace kelvo
