#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kelvo {

// A value from the program's information dictionary (Info.json): a JSON
// string, or something else (a number, a list, ...) that is not a string.
struct InfoValue {
  std::optional<std::string> string;  // set when the value is a JSON string
};

// The platform answers the store depends on. The process's own come from
// Platform::current(); tests pass their own so they never touch the real
// home directory.
struct Platform {
  // Looks a key up in the information dictionary; nothing when missing.
  std::function<std::optional<InfoValue>(const std::string& key)> infoValue;
  // The existing directory shared by the cooperating programs for a group
  // identifier, or nothing.
  std::function<std::optional<std::filesystem::path>(const std::string& groupId)> groupContainer;
  // The user's home directory: the user database's entry, else $HOME.
  std::function<std::optional<std::filesystem::path>()> homeDirectory;
  // The base of the user's data files (see dataHomeFor); when not set, the
  // home directory's .local/share.
  std::function<std::optional<std::filesystem::path>()> dataHome;
  // When set, the shared directory whatever the group key says (--shared-dir):
  // used when it is an existing directory, else there is no container.
  std::optional<std::filesystem::path> sharedDirectory;

  // dataHome, or the home directory's .local/share when it is not set.
  std::optional<std::filesystem::path> dataDirectory() const;

  // The process's own: Info.json from the resource directory, the group
  // container <data home>/kelvo/groups/<group id>, the real home, and
  // $XDG_DATA_HOME.
  static Platform current();

  // Like current(), but the shared directory is `dir` as if the container
  // lookup had answered it (nothing when `dir` is not an existing directory),
  // also when no group is configured.
  static Platform withSharedDirectory(const std::filesystem::path& dir);

  // What a program's --shared-dir asks for: withSharedDirectory(*dir) when
  // it was given, else current().
  static Platform forSharedDirectory(const std::optional<std::filesystem::path>& dir);
};

// Looks `key` up in an information dictionary file (a JSON object). A file
// that is missing, not a regular file, over 1 MiB or not a JSON object has
// no keys.
std::optional<InfoValue> readInfoValue(const std::filesystem::path& infoFile, const std::string& key);

// The base of the user's data files: `xdgDataHome` ($XDG_DATA_HOME) when it
// is an absolute path, else <home>/.local/share; nothing without either.
std::optional<std::filesystem::path> dataHomeFor(const char* xdgDataHome,
                                                 const std::optional<std::filesystem::path>& home);

// The group identifiers that can never name a container: empty, ".", "..",
// or containing "/" or NUL (they would leave the containers' directory).
bool isSafeGroupIdentifier(const std::string& groupId);

// The program's resource directory, <prefix>/share, found relative to the
// running executable (<prefix>/bin/<program>).
std::filesystem::path resourceDirectory();

}  // namespace kelvo
