#pragma once

// Standard output for a stream of lines whose reader may stop reading (a bar
// that hangs, a terminal on hold): writing never blocks, and at most one line
// waits behind the one being written, replaced by each newer one. So the
// writer stays free to answer its signals, and its memory stays bounded.

#include <cstddef>
#include <optional>
#include <string>

namespace kelvo::host {

class LatestLineOutput {
 public:
  enum class Written { ok, readerGone, failed };

  // Writes to `fd` without blocking: a pipe, FIFO or terminal through a
  // non-blocking description of its own (the shared one is left as it is,
  // for the shell that shares it), a socket with MSG_DONTWAIT, a regular
  // file as it is. Failing all, the descriptor's own flag is set and put
  // back on destruction.
  explicit LatestLineOutput(int fd);
  ~LatestLineOutput();
  LatestLineOutput(const LatestLineOutput&) = delete;
  LatestLineOutput& operator=(const LatestLineOutput&) = delete;

  // The descriptor to poll for POLLOUT while pending().
  int fd() const { return fd_; }
  // A line, or part of one, is still to be written.
  bool pending() const { return !writing_.empty(); }

  // Queues `line` (whole lines: a line begun is always finished first).
  void offer(std::string line);
  // Writes what the reader takes now; ok also when some is left for later.
  // A failure other than a reader gone is reported on stderr.
  Written flush();

 private:
  enum class Mode { write, send };
  int fd_ = -1;
  int ownFd_ = -1;                   // the reopened descriptor, closed at the end
  std::optional<int> restoreFlags_;  // the shared flags to put back
  Mode mode_ = Mode::write;
  std::string writing_;              // the line being written, from `written_` on
  std::size_t written_ = 0;          // bytes of it already written
  std::optional<std::string> next_;  // the newest line not yet begun
};

}  // namespace kelvo::host
