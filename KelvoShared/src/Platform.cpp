#include "KelvoShared/Platform.h"

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "KelvoShared/RegularFile.h"

namespace kelvo {

namespace {

namespace fs = std::filesystem;

// Info.json is a handful of keys; anything much larger is not ours.
constexpr std::size_t kInfoSizeLimit = 1 << 20;

std::optional<fs::path> realHomeDirectory() {
  // The user database wins; $HOME serves only when it has no answer. The
  // reentrant lookup, since the store may be used from any thread.
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      *found->pw_dir) {
    return fs::path(found->pw_dir);
  }
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home);
  return std::nullopt;
}

}  // namespace

std::optional<InfoValue> readInfoValue(const fs::path& infoFile, const std::string& key) {
  const auto bytes = readRegularFile(infoFile, kInfoSizeLimit);
  if (!bytes) return std::nullopt;
  const auto info = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, /*allow_exceptions=*/false);
  if (!info.is_object()) return std::nullopt;
  const auto it = info.find(key);
  if (it == info.end()) return std::nullopt;
  if (it->is_string()) return InfoValue{it->get<std::string>()};
  return InfoValue{};
}

std::optional<fs::path> dataHomeFor(const char* xdgDataHome, const std::optional<fs::path>& home) {
  // A relative value is invalid by the base directory rules and is ignored.
  if (xdgDataHome && fs::path(xdgDataHome).is_absolute()) return fs::path(xdgDataHome);
  if (!home) return std::nullopt;
  return *home / ".local" / "share";
}

std::optional<fs::path> Platform::dataDirectory() const {
  if (dataHome) return dataHome();
  if (!homeDirectory) return std::nullopt;
  return dataHomeFor(nullptr, homeDirectory());
}

bool isSafeGroupIdentifier(const std::string& groupId) {
  return !groupId.empty() && groupId != "." && groupId != ".." && groupId.find('/') == std::string::npos &&
         groupId.find('\0') == std::string::npos;
}

fs::path resourceDirectory() {
  std::error_code ec;
  const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::path("/usr/share");
  return executable.parent_path().parent_path() / "share";
}

Platform Platform::current() {
  Platform platform;
  platform.infoValue = [](const std::string& key) {
    return readInfoValue(resourceDirectory() / "kelvo" / "Info.json", key);
  };
  platform.homeDirectory = realHomeDirectory;
  platform.dataHome = [] { return dataHomeFor(std::getenv("XDG_DATA_HOME"), realHomeDirectory()); };
  platform.groupContainer = [dataHome =
                                 platform.dataHome](const std::string& groupId) -> std::optional<fs::path> {
    if (!isSafeGroupIdentifier(groupId)) return std::nullopt;
    const auto base = dataHome();
    if (!base) return std::nullopt;
    fs::path container = *base / "kelvo" / "groups" / groupId;
    std::error_code ec;
    if (!fs::is_directory(container, ec)) return std::nullopt;
    return container;
  };
  return platform;
}

Platform Platform::withSharedDirectory(const fs::path& dir) {
  Platform platform = current();
  platform.sharedDirectory = dir;
  platform.groupContainer = [dir](const std::string&) -> std::optional<fs::path> {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return std::nullopt;
    return dir;
  };
  return platform;
}

Platform Platform::forSharedDirectory(const std::optional<fs::path>& dir) {
  return dir ? withSharedDirectory(*dir) : current();
}

}  // namespace kelvo
