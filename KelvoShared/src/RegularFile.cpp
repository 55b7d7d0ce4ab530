#include "KelvoShared/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <random>
#include <string>
#include <system_error>

namespace kelvo {

namespace {

namespace fs = std::filesystem;

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

}  // namespace

Result<std::vector<std::uint8_t>> readRegularFile(const fs::path& file, std::size_t limit,
                                                  FileNaming naming) {
  const bool inReason = naming == FileNaming::inReason;
  const std::string name = inReason ? file.filename().string() : std::string();
  // "cannot open NAME: why" or "cannot open: why"; "NAME is not ..." or "not ...".
  const auto failed = [&](const char* verb, int error) {
    return Error{std::string(verb) + (inReason ? " " + name : "") + ": " + describeErrno(error)};
  };
  const auto is = [&](const std::string& what) { return Error{inReason ? name + " is " + what : what}; };
  FileHandle fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return failed("cannot open", errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return failed("cannot read", errno);
  if (!S_ISREG(info.st_mode)) return is("not a regular file");
  const auto tooLarge = [&] {
    const bool mebibytes = limit % (std::size_t{1} << 20) == 0;
    const bool kibibytes = limit % 1024 == 0;
    return is("larger than " +
              std::to_string(mebibytes   ? limit >> 20
                             : kibibytes ? limit >> 10
                                         : limit) +
              (mebibytes   ? " MiB"
               : kibibytes ? " KiB"
                           : " bytes"));
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
      return failed("cannot read", errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > limit) return tooLarge();
  bytes.resize(used);
  return bytes;
}

namespace {

// What every temporary name for `target` starts with.
// (Appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) about a
// chain of operator+ that starts with a literal.)
std::string temporaryPrefix(std::string_view target) {
  std::string prefix = ".";
  prefix.append(target).append(".tmp-");
  return prefix;
}

// A name no other writer, in this process or another, is using right now.
std::string temporaryName(std::string_view target) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string name = temporaryPrefix(target);
  name.append(std::to_string(::getpid())).append("-");
  name.append(std::to_string(counter++)).append("-");
  name.append(std::to_string(random() & 0xffffff));
  return name;
}

constexpr time_t kStaleAfterSeconds = 60;

}  // namespace

void removeStaleTemporaries(const fs::path& dir, std::string_view target) {
  const std::string prefix = temporaryPrefix(target);
  const time_t now = ::time(nullptr);
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& item = it->path();
    if (!item.filename().string().starts_with(prefix)) continue;
    struct stat info {};
    if (::lstat(item.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
    if (now - info.st_mtime < kStaleAfterSeconds) continue;
    ::unlink(item.c_str());
  }
}

Status writeFileAtomically(const fs::path& dir, std::string_view target, const std::uint8_t* data,
                           std::size_t size) {
  removeStaleTemporaries(dir, target);
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
  return {};
}

}  // namespace kelvo
