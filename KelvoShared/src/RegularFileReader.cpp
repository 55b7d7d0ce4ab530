#include "KelvoShared/RegularFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kelvo {

namespace {

std::string describeErrno(int error) { return std::error_code(error, std::generic_category()).message(); }

Error tooLarge(const std::string& name, std::size_t limit) {
  const bool mebibytes = limit % (std::size_t{1} << 20) == 0;
  return Error{name + " is larger than " + std::to_string(mebibytes ? limit >> 20 : limit) +
               (mebibytes ? " MiB" : " bytes")};
}

}  // namespace

Result<std::unique_ptr<RegularFileReader>> RegularFileReader::open(const std::filesystem::path& file,
                                                                   std::size_t limit) {
  std::string name = file.filename().string();
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Error{"cannot open " + name + ": " + describeErrno(errno)};
  std::unique_ptr<RegularFileReader> reader(new RegularFileReader(fd, limit, name));
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Error{"cannot read " + name + ": " + describeErrno(errno)};
  if (!S_ISREG(info.st_mode)) return Error{name + " is not a regular file"};
  if (static_cast<std::uintmax_t>(info.st_size) > limit) {
    return tooLarge(name, limit);
  }
  const auto nanoseconds = [](const timespec& t) {
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
  };
  reader->identity_ = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                       static_cast<std::int64_t>(info.st_size), nanoseconds(info.st_mtim),
                       nanoseconds(info.st_ctim)};
  return reader;
}

RegularFileReader::RegularFileReader(int fd, std::size_t limit, std::string name)
    : fd_(fd), limit_(limit), name_(std::move(name)) {}

RegularFileReader::~RegularFileReader() { ::close(fd_); }

Result<std::size_t> RegularFileReader::read(std::uint8_t* buffer, std::size_t size) {
  // One byte more than the limit allows shows that the file has grown.
  const std::size_t room = limit_ + 1 - used_;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, std::min(size, room));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Error{"cannot read " + name_ + ": " + describeErrno(errno)};
    used_ += static_cast<std::size_t>(n);
    if (used_ > limit_) return tooLarge(name_, limit_);
    return static_cast<std::size_t>(n);
  }
}

}  // namespace kelvo
