#pragma once

// Where `render -o FILE` and `run --out-dir DIR` put what they draw.

#include <filesystem>
#include <string_view>

#include "KelvoBase/Result.h"

namespace kelvo::host {

// Writes `bytes` to `path` as a user expects of an output file, and never
// replaces anything but a regular file:
// - nothing or a regular file there: replaced whole and atomically (readers
//   see the old file or the new one);
// - a symbolic link: followed, as cp does; its target is treated by these
//   rules and the link stays;
// - a FIFO or character device (a terminal, /dev/null), or /dev/stdout and
//   its kin in /proc: opened and written directly;
// - a directory, block device or socket: refused.
// Errors say what failed and why, naming the file.
//
// A FIFO without a reader makes the open wait for one, as a shell
// redirection does, unless `fifo` is FifoReader::mustBeThere (a refresh loop
// must not hang on it): then it fails.
enum class FifoReader { waitFor, mustBeThere };
Status writeOutputFile(const std::filesystem::path& path, std::string_view bytes,
                       FifoReader fifo = FifoReader::waitFor);

// Writes `bytes` to standard output unbuffered (after what std::cout holds),
// so a failure is reported with its reason right here.
Status writeStandardOutput(std::string_view bytes);

}  // namespace kelvo::host
