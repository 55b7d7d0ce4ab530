#pragma once

// The server's log on standard error: one line per event, control
// characters escaped, so nothing a client or a snapshot sends can forge a
// line or drive the terminal. Lines from several threads never mix.

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <string_view>

#include "KelvoShared/LogText.h"

namespace kelvo::serve {

class ServeLog {
 public:
  explicit ServeLog(bool verbose) : verbose_(verbose) {}

  // Whether every request gets its line (-v), not only errors.
  bool verbose() const { return verbose_; }

  void line(std::string_view text) {
    const std::string bytes = "kelvo-widget serve: " + escapeForLog(text) + "\n";
    const std::lock_guard lock(mutex_);
    // A journal or terminal that went away takes the log with it, not the server.
    for (std::size_t written = 0; written < bytes.size();) {
      const ssize_t n = ::write(STDERR_FILENO, bytes.data() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      written += static_cast<std::size_t>(n);
    }
  }

 private:
  const bool verbose_;
  std::mutex mutex_;
};

}  // namespace kelvo::serve
