#include "KelvoShared/SharedStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "KelvoShared/RegularFile.h"
#include "KelvoShared/Utf8Text.h"

namespace kelvo {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kGroupKey = "KelvoAppGroup";
constexpr std::string_view kSnapshotFile = "snapshot.json";
constexpr std::string_view kImageFile = "car.png";

bool itemExists(const fs::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0;
}

// Why `file` cannot be looked at, or nothing when it is there or simply
// missing (then there is nothing to read, which is not a failure).
std::optional<std::string> lookupFailure(const fs::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) == 0 || errno == ENOENT || errno == ENOTDIR) return std::nullopt;
  return "cannot read " + file.filename().string() + ": " + std::generic_category().message(errno);
}

// Removes a file, a symbolic link or an empty directory; a missing item is
// no failure.
Status removeItem(const fs::path& item) {
  std::error_code ec;
  fs::remove(item, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    return Error{"cannot remove " + item.filename().string() + ": " + ec.message()};
  }
  return {};
}

// The outcome of reading snapshot.json in `dir`.
SharedStore::SnapshotState snapshotStateIn(const fs::path& dir) {
  const fs::path file = dir / kSnapshotFile;
  // A directory without search permission hides the file: unreadable, not missing.
  if (auto failure = lookupFailure(file))
    return SharedStore::Unreadable{SharedStore::boundedMessage(*failure)};
  if (!itemExists(file)) return SharedStore::NoFile{};
  const auto bytes = readRegularFile(file, SharedStore::kSnapshotSizeLimit);
  if (!bytes) return SharedStore::Unreadable{SharedStore::boundedMessage(bytes.error().message)};
  const auto& data = bytes.value();
  auto snapshot = decodeSnapshot(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!snapshot) return SharedStore::Unreadable{SharedStore::boundedMessage(snapshot.error().message)};
  return SharedStore::Ok{std::move(snapshot).value()};
}

Status writeSnapshot(const fs::path& dir, const WidgetSnapshot& snapshot) {
  const auto text = encodeSnapshot(snapshot);
  if (!text) return text.error();
  // A file the reader would refuse is not written.
  if (text->size() > SharedStore::kSnapshotSizeLimit)
    return Error{"the encoded snapshot is larger than 1 MiB"};
  removeStaleTemporaries(dir, kImageFile);  // writing snapshot.json cleans up after its own
  return writeFileAtomically(dir, kSnapshotFile, reinterpret_cast<const std::uint8_t*>(text->data()),
                             text->size());
}

Status writeImage(const fs::path& dir, const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() > SharedStore::kImageSizeLimit) return Error{"the picture is larger than 64 MiB"};
  removeStaleTemporaries(dir, kSnapshotFile);  // writing car.png cleans up after its own
  return writeFileAtomically(dir, kImageFile, bytes.data(), bytes.size());
}

Status clearDirectory(const fs::path& dir) {
  removeStaleTemporaries(dir, kSnapshotFile);
  removeStaleTemporaries(dir, kImageFile);
  const Status snapshot = removeItem(dir / kSnapshotFile);
  const Status image = removeItem(dir / kImageFile);
  return snapshot.ok() ? image : snapshot;
}

}  // namespace

std::string SharedStore::boundedMessage(std::string_view message) {
  return prefixGraphemes(message, kMessageCharacterLimit, kMessageByteLimit);
}

SharedStore::SharedStore(Platform platform) : platform_(std::move(platform)) {}

std::optional<std::string> SharedStore::appGroup() const {
  if (!platform_.infoValue) return std::nullopt;
  const auto value = platform_.infoValue(std::string(kGroupKey));
  // Missing, not a string, or empty: no group. Blanks are passed on as they are.
  if (!value || !value->string || value->string->empty()) return std::nullopt;
  return value->string;
}

bool SharedStore::isSharedGroup() const { return appGroup().has_value(); }

std::optional<fs::path> SharedStore::localURL() const {
  const auto data = platform_.dataDirectory();
  if (!data) return std::nullopt;
  fs::path local = *data / "kelvo";
  std::error_code ec;
  fs::create_directories(local, ec);  // a failure shows up later as missing files
  return local;
}

std::optional<fs::path> SharedStore::containerURL() const {
  if (platform_.sharedDirectory) {
    std::error_code ec;
    if (!fs::is_directory(*platform_.sharedDirectory, ec)) return std::nullopt;
    return platform_.sharedDirectory;
  }
  const auto group = appGroup();
  if (!group) return localURL();
  // An identifier that would climb out of the containers' directory names none.
  if (!isSafeGroupIdentifier(*group) || !platform_.groupContainer) return std::nullopt;
  return platform_.groupContainer(*group);
}

SharedStore::SnapshotState SharedStore::snapshotState() const {
  const auto dir = containerURL();
  if (!dir) return NoContainer{};
  return snapshotStateIn(*dir);
}

std::optional<WidgetSnapshot> SharedStore::loadSnapshot() const {
  auto state = snapshotState();
  if (auto* ok = std::get_if<Ok>(&state)) return std::move(ok->snapshot);
  return std::nullopt;
}

Status SharedStore::save(const WidgetSnapshot& snapshot) const {
  const auto dir = containerURL();
  return dir ? writeSnapshot(*dir, snapshot) : Status{};
}

std::optional<std::vector<std::uint8_t>> SharedStore::loadImage() const {
  const auto dir = containerURL();
  if (!dir) return std::nullopt;
  auto bytes = readRegularFile(*dir / kImageFile, kImageSizeLimit);
  if (!bytes) return std::nullopt;
  return std::move(bytes).value();
}

std::unique_ptr<RegularFileReader> SharedStore::openImage() const {
  const auto dir = containerURL();
  if (!dir) return nullptr;
  auto reader = RegularFileReader::open(*dir / kImageFile, kImageSizeLimit);
  if (!reader) return nullptr;
  return std::move(reader).value();
}

bool SharedStore::hasImage() const {
  const auto dir = containerURL();
  return dir && itemExists(*dir / kImageFile);
}

Status SharedStore::removeImage() const {
  const auto dir = containerURL();
  return dir ? removeItem(*dir / kImageFile) : Status{};
}

Status SharedStore::saveImage(const std::vector<std::uint8_t>& bytes) const {
  const auto dir = containerURL();
  return dir ? writeImage(*dir, bytes) : Status{};
}

Status SharedStore::clear() const {
  const auto dir = containerURL();
  return dir ? clearDirectory(*dir) : Status{};
}

Result<SharedStore::Writer> SharedStore::writer() const {
  if (auto dir = containerURL()) return Writer(std::move(*dir));
  if (platform_.sharedDirectory) {
    return Error{"no shared directory: " + platform_.sharedDirectory->string() + " is not a directory"};
  }
  if (const auto group = appGroup())
    return Error{"no shared directory: the app group \"" + *group + "\" has no container"};
  return Error{"no shared directory: neither XDG_DATA_HOME nor a home directory is known"};
}

Status SharedStore::Writer::save(WidgetSnapshot snapshot) const {
  snapshot.hasImage = snapshot.hasImage && itemExists(dir_ / kImageFile);
  return writeSnapshot(dir_, snapshot);
}

Status SharedStore::Writer::saveImage(const std::vector<std::uint8_t>& bytes) const {
  if (Status saved = writeImage(dir_, bytes); !saved) return saved;
  return setHasImage(true);
}

Status SharedStore::Writer::removeImage() const {
  if (Status removed = removeItem(dir_ / kImageFile); !removed) return removed;
  return setHasImage(false);
}

Status SharedStore::Writer::clear() const { return clearDirectory(dir_); }

// A missing or unreadable snapshot.json is left as it is: there is no
// snapshot to correct, and the next save writes the right value.
Status SharedStore::Writer::setHasImage(bool hasImage) const {
  auto state = snapshotStateIn(dir_);
  auto* ok = std::get_if<Ok>(&state);
  if (ok == nullptr || ok->snapshot.hasImage == hasImage) return {};
  ok->snapshot.hasImage = hasImage;
  return writeSnapshot(dir_, ok->snapshot);
}

}  // namespace kelvo
