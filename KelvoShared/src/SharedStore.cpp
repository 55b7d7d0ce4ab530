#include "KelvoShared/SharedStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>
#include <string_view>
#include <system_error>

#include "KelvoShared/Utf8Text.h"

namespace kelvo {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kGroupKey = "KelvoAppGroup";
constexpr std::string_view kSnapshotFile = "snapshot.json";
constexpr std::string_view kImageFile = "car.png";
constexpr std::size_t kMessageLimit = 120;

std::string describeErrno(int error) { return std::error_code(error, std::generic_category()).message(); }

// A file descriptor closed on scope exit.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the outcome (a late write error shows up here).
  int release() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// Reads a whole regular file of at most `limit` bytes. The file is opened
// without blocking, so a FIFO or device in its place cannot hang the reader,
// and is checked to be a regular file before anything is read.
Result<std::vector<std::uint8_t>> readWholeFile(const fs::path& file, std::size_t limit) {
  const std::string name = file.filename().string();
  FileHandle fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return Error{"cannot open " + name + ": " + describeErrno(errno)};
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Error{"cannot read " + name + ": " + describeErrno(errno)};
  if (!S_ISREG(info.st_mode)) return Error{name + " is not a regular file"};
  const auto tooLarge = [&] {
    return Error{name + " is larger than " + std::to_string(limit >> 20) + " MiB"};
  };
  if (static_cast<std::uintmax_t>(info.st_size) > limit) return tooLarge();

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t used = 0;
  // The file may change size after fstat: read to its end, never past limit + 1.
  for (;;) {
    if (used == bytes.size()) {
      if (bytes.size() > limit) return tooLarge();
      bytes.resize(std::min(limit + 1, bytes.size() * 2 + 4096));
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Error{"cannot read " + name + ": " + describeErrno(errno)};
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > limit) return tooLarge();
  bytes.resize(used);
  return bytes;
}

bool itemExists(const fs::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0;
}

// A name no other writer, in this process or another, is using right now.
std::string temporaryName(std::string_view target) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + std::string(target) + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
         "-" + std::to_string(random() & 0xffffff);
}

// Replaces `dir/target` whole: the bytes go to a temporary file in the same
// directory, are flushed to disk, and the temporary file is renamed over the
// target. Readers see the old file or the new one, never a part; on failure
// the temporary file is removed and the old file stays as it was.
Status writeAtomically(const fs::path& dir, std::string_view target, const std::uint8_t* data,
                       std::size_t size) {
  fs::path temporary;
  int raw = -1;
  for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
    temporary = dir / temporaryName(target);
    raw = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (raw < 0 && errno != EEXIST) break;
  }
  const std::string name(target);
  if (raw < 0) return Error{"cannot write " + name + ": " + describeErrno(errno)};
  FileHandle fd(raw);
  const auto fail = [&](const std::string& what, int error) -> Status {
    ::unlink(temporary.c_str());
    return Error{what + " " + name + ": " + describeErrno(error)};
  };

  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd.get(), data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write", errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return fail("cannot flush", errno);
  if (fd.release() != 0) return fail("cannot write", errno);
  if (::rename(temporary.c_str(), (dir / name).c_str()) != 0) return fail("cannot replace", errno);

  // Make the rename itself durable; a failure here loses nothing already visible.
  if (const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return {};
}

// Removes a file, a symbolic link or an empty directory; every failure,
// a missing item included, is ignored.
void removeQuietly(const fs::path& item) {
  std::error_code ec;
  fs::remove(item, ec);
}

}  // namespace

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
  if (!platform_.homeDirectory) return std::nullopt;
  const auto home = platform_.homeDirectory();
  if (!home) return std::nullopt;
  fs::path local = *home / "Library/Application Support/Kelvo";
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
  const fs::path file = *dir / kSnapshotFile;
  if (!itemExists(file)) return NoFile{};
  const auto bytes = readWholeFile(file, kSnapshotSizeLimit);
  if (!bytes) return Unreadable{prefixGraphemes(bytes.error().message, kMessageLimit)};
  const auto& data = bytes.value();
  auto snapshot = decodeSnapshot(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!snapshot) return Unreadable{prefixGraphemes(snapshot.error().message, kMessageLimit)};
  return Ok{std::move(snapshot).value()};
}

std::optional<WidgetSnapshot> SharedStore::loadSnapshot() const {
  auto state = snapshotState();
  if (auto* ok = std::get_if<Ok>(&state)) return std::move(ok->snapshot);
  return std::nullopt;
}

Status SharedStore::save(const WidgetSnapshot& snapshot) const {
  const auto dir = containerURL();
  if (!dir) return {};
  const auto text = encodeSnapshot(snapshot);
  if (!text) return text.error();
  // A file the reader would refuse is not written.
  if (text->size() > kSnapshotSizeLimit) return Error{"the encoded snapshot is larger than 1 MiB"};
  return writeAtomically(*dir, kSnapshotFile, reinterpret_cast<const std::uint8_t*>(text->data()),
                         text->size());
}

std::optional<std::vector<std::uint8_t>> SharedStore::loadImage() const {
  const auto dir = containerURL();
  if (!dir) return std::nullopt;
  auto bytes = readWholeFile(*dir / kImageFile, kImageSizeLimit);
  if (!bytes) return std::nullopt;
  return std::move(bytes).value();
}

bool SharedStore::hasImage() const {
  const auto dir = containerURL();
  return dir && itemExists(*dir / kImageFile);
}

void SharedStore::removeImage() const {
  if (const auto dir = containerURL()) removeQuietly(*dir / kImageFile);
}

Status SharedStore::saveImage(const std::vector<std::uint8_t>& bytes) const {
  const auto dir = containerURL();
  if (!dir) return {};
  if (bytes.size() > kImageSizeLimit) return Error{"the picture is larger than 64 MiB"};
  return writeAtomically(*dir, kImageFile, bytes.data(), bytes.size());
}

void SharedStore::clear() const {
  const auto dir = containerURL();
  if (!dir) return;
  removeQuietly(*dir / kSnapshotFile);
  removeQuietly(*dir / kImageFile);
}

}  // namespace kelvo
