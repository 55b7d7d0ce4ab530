#pragma once

// Writes the feed's configuration file and its password file: the reverse of
// applyConfigFile and readPasswordFile, so that what is written reads back
// as the same settings. Both files are private (0600) and replaced whole.

#include <filesystem>
#include <string>

#include "FeedConfig.h"
#include "KelvoBase/Result.h"

namespace kelvo::feed {

// The settings as feed.ini text: [broker], [feed] and [map] with the values
// that differ from the defaults. The password itself is never written (only
// password_file). Refuses a value that would not read back as given: a line
// break or control character, blanks at either end.
Result<std::string> configText(const FeedSettings& settings);

// Writes `text` to `file` with mode 0600 through a temporary file in the same
// folder and a rename, so a reader never sees half of it and no other user
// ever could; creates the folder (0700) when missing.
Status writePrivateFile(const std::filesystem::path& file, const std::string& text);

// configText, then writePrivateFile.
Status writeConfigFile(const std::filesystem::path& file, const FeedSettings& settings);

// The password as the file's first line; refuses an empty one or one with a
// line break, which readPasswordFile would cut.
Status writePasswordFile(const std::filesystem::path& file, const std::string& password);

}  // namespace kelvo::feed
