#pragma once

#include <string>

#include "KelvoShared/SharedStore.h"

namespace kelvo {

// The store's snapshot state as `kelvo show` prints it: {"state": "ok",
// "snapshot": {...}}, or "unreadable" with its message, "noContainer",
// "noFile". `indent` < 0 writes one line. `readable` says whether the state
// was a snapshot that could be written out.
std::string snapshotStateJson(const SharedStore::SnapshotState& state, int indent, bool* readable = nullptr);

}  // namespace kelvo
