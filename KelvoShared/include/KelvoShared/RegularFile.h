#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "KelvoBase/Result.h"

namespace kelvo {

// How a read error names the file: by its file name within the reason
// ("cannot open snapshot.json: ..."), or not at all, for a caller that puts
// the path in front ("/etc/x.ini: cannot open: ...").
enum class FileNaming { inReason, byCaller };

// Reads the whole of a regular file of at most `limit` bytes. The file is
// opened without blocking and checked to be a regular file before anything
// is read, so a FIFO, socket or device in its place fails at once instead of
// hanging the reader or filling its memory. Never throws.
Result<std::vector<std::uint8_t>> readRegularFile(const std::filesystem::path& file, std::size_t limit,
                                                  FileNaming naming = FileNaming::inReason);

// Replaces `dir/name` whole: the bytes go to a new temporary file in the same
// directory, are flushed to disk, and the temporary file is renamed over the
// target, so readers see the old file or the new one, never a part. On any
// failure the temporary file is removed and the old file stays as it was.
// Temporary files that an earlier, killed writer of `name` left behind are
// removed first (see removeStaleTemporaries).
Status writeFileAtomically(const std::filesystem::path& dir, std::string_view name, const std::uint8_t* data,
                           std::size_t size);

// Removes the temporary files of writeFileAtomically(dir, name, ...) that are
// older than a minute and owned by this process's user: a writer killed
// mid-write leaves one, and nothing else would ever remove it. Younger ones
// may belong to a writer still at work and stay. Failures are ignored.
void removeStaleTemporaries(const std::filesystem::path& dir, std::string_view name);

}  // namespace kelvo
