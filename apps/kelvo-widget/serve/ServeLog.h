#pragma once

// The server's log on standard error: one line per event, control
// characters escaped, so nothing a client or a snapshot sends can forge a
// line or drive the terminal. Lines from several threads never mix.

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
    const std::lock_guard lock(mutex_);
    // A journal or terminal that went away takes the log with it, not the server.
    writeLogLine("kelvo-widget serve", text, LogEscape::wholeLine);
  }

 private:
  const bool verbose_;
  std::mutex mutex_;
};

}  // namespace kelvo::serve
