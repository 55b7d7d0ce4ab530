#include "LatestLineOutput.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>

namespace kelvo::host {

LatestLineOutput::LatestLineOutput(int fd) : fd_(fd) {
  struct stat status {};
  if (::fstat(fd, &status) == 0) {
    if (S_ISREG(status.st_mode)) return;  // never blocks
    if (S_ISSOCK(status.st_mode)) {
      mode_ = Mode::send;
      return;
    }
    // A description of its own for the same pipe or terminal.
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    ownFd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (ownFd_ >= 0) {
      fd_ = ownFd_;
      return;
    }
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0 && !(flags & O_NONBLOCK) && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0) {
    restoreFlags_ = flags;
  }
}

LatestLineOutput::~LatestLineOutput() {
  if (ownFd_ >= 0) ::close(ownFd_);
  if (restoreFlags_) ::fcntl(fd_, F_SETFL, *restoreFlags_);
}

void LatestLineOutput::offer(std::string line) {
  if (writing_.empty()) {
    writing_ = std::move(line);
    written_ = 0;
  } else {
    next_ = std::move(line);
  }
}

LatestLineOutput::Written LatestLineOutput::flush() {
  while (!writing_.empty()) {
    const char* data = writing_.data() + written_;
    const std::size_t size = writing_.size() - written_;
    // A closed pipe is reported by EPIPE, not by a killing signal.
    const ssize_t n =
        mode_ == Mode::send ? ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) : ::write(fd_, data, size);
    if (n >= 0) {
      written_ += static_cast<std::size_t>(n);
      if (written_ == writing_.size()) {
        writing_ = next_ ? std::move(*next_) : std::string();
        written_ = 0;
        next_.reset();
      }
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Written::ok;
    if (errno == EPIPE) return Written::readerGone;
    std::cerr << "kelvo-widget status: cannot write to standard output: " << std::strerror(errno) << "\n";
    return Written::failed;
  }
  return Written::ok;
}

}  // namespace kelvo::host
