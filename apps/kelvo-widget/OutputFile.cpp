#include "OutputFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <string>
#include <system_error>

#include "KelvoBase/Unreachable.h"
#include "KelvoShared/RegularFile.h"

namespace kelvo::host {

namespace {

namespace fs = std::filesystem;

// Path resolution gives up after this many links, as the kernel does.
constexpr int kMaximumLinks = 40;

enum class Kind { missing, regular, direct, refused };

struct Target {
  fs::path path;  // with every ordinary symbolic link followed
  Kind kind = Kind::missing;
  std::string refusal;  // why, for Kind::refused
};

std::string describeErrno(int error) { return std::generic_category().message(error); }

Error failure(const fs::path& path, int error) {
  return Error{"cannot write " + path.string() + ": " + describeErrno(error)};
}

// Links in /proc (/dev/stdout is one, through /dev/fd) name open files rather
// than paths: what they read as may not even be a path ("pipe:[1234]").
bool isInProcFileSystem(const fs::path& dir) {
  struct statfs info {};
  return ::statfs(dir.c_str(), &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

Target targetOf(const struct stat& info, const fs::path& path) {
  if (S_ISREG(info.st_mode)) return {path, Kind::regular, {}};
  if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) return {path, Kind::direct, {}};
  if (S_ISDIR(info.st_mode)) return {path, Kind::refused, "is a directory"};
  if (S_ISBLK(info.st_mode)) return {path, Kind::refused, "is a block device"};
  return {path, Kind::refused, "is not a file, FIFO or character device"};
}

Result<Target> resolve(fs::path path) {
  std::error_code ec;
  path = fs::absolute(path, ec);
  if (ec) return Error{"cannot write " + path.string() + ": " + ec.message()};
  for (int links = 0; links <= kMaximumLinks; ++links) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      if (errno == ENOENT) return Target{path, Kind::missing, {}};
      return failure(path, errno);
    }
    if (!S_ISLNK(info.st_mode)) return targetOf(info, path);
    if (isInProcFileSystem(path.parent_path())) return Target{path, Kind::direct, {}};
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) return Error{"cannot write " + path.string() + ": " + ec.message()};
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return failure(path, ELOOP);
}

// Writes all of `bytes` to `fd`; the errno of a failure, else 0.
int writeAll(int fd, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

Status writeDirectly(const fs::path& path, std::string_view bytes, FifoReader fifo) {
  // O_TRUNC matters only when a /proc link leads to a regular file, which
  // then ends up holding exactly these bytes, as with cp. O_NONBLOCK makes
  // opening a FIFO without a reader fail (ENXIO) instead of waiting; the
  // writes themselves block as usual.
  const int nonBlocking = fifo == FifoReader::mustBeThere ? O_NONBLOCK : 0;
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | nonBlocking);
  if (fd < 0) return failure(path, errno);
  if (nonBlocking != 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (const int error = writeAll(fd, bytes); error != 0) {
    ::close(fd);
    return failure(path, error);
  }
  if (::close(fd) != 0) return failure(path, errno);
  return {};
}

}  // namespace

Status writeOutputFile(const fs::path& path, std::string_view bytes, FifoReader fifo) {
  const Result<Target> target = resolve(path);
  if (!target) return target.error();
  switch (target->kind) {
    case Kind::missing:
    case Kind::regular:
      return writeFileAtomically(target->path.parent_path(), target->path.filename().string(),
                                 reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    case Kind::direct:
      return writeDirectly(target->path, bytes, fifo);
    case Kind::refused:
      return Error{"cannot write " + target->path.string() + ": it " + target->refusal};
  }
  unreachable(__func__);
}

Status writeStandardOutput(std::string_view bytes) {
  std::cout.flush();
  if (const int error = writeAll(STDOUT_FILENO, bytes); error != 0) {
    return Error{"cannot write to standard output: " + describeErrno(error)};
  }
  return {};
}

}  // namespace kelvo::host
