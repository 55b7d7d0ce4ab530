// `status`: the car's state as one line for status bars, once or, with
// --watch, again whenever what the bar shows changes.

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

#include "Commands.h"
#include "KelvoShared/CurrentLocale.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/Platform.h"
#include "KelvoShared/SharedStore.h"
#include "KelvoWidget/RefreshSchedule.h"
#include "LatestLineOutput.h"
#include "StatusLine.h"

namespace kelvo::host {

namespace {

namespace fs = std::filesystem;

struct StatusOptions {
  RequestOptions request;  // --shared-dir and --now
  std::string format;
  bool watch;
};

widget::Timeline currentTimeline(const RequestOptions& request) {
  // The smallest family: the status line shows no picture, so none is decoded.
  return request.provider().timeline({ui::WidgetFamily::systemSmall, false});
}

// Writes all of `bytes` to standard output, unbuffered.
LatestLineOutput::Written writeOut(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EPIPE) return LatestLineOutput::Written::readerGone;
    std::cerr << "kelvo-widget status: cannot write to standard output: " << std::strerror(errno) << "\n";
    return LatestLineOutput::Written::failed;
  }
  return LatestLineOutput::Written::ok;
}

// The status code for a write's outcome, nothing when all went well. A bar
// that went away is no error worth a message, but the stream has ended.
std::optional<int> exitAfter(LatestLineOutput::Written written) {
  if (written == LatestLineOutput::Written::ok) return std::nullopt;
  return apps::kExitFailure;
}

// A file descriptor closed when it goes out of scope.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int f) : fd(f) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Watches the shared directory for snapshot.json being written, replaced or
// removed, and the directory itself going away.
class SharedDirectoryWatch {
 public:
  SharedDirectoryWatch() : inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

  int fd() const { return inotify_.fd; }
  bool watching() const { return watch_ >= 0; }

  // Watches `directory` (nothing: no directory), dropping an earlier watch
  // on another one.
  void follow(const std::optional<fs::path>& directory) {
    if (directory == directory_ && watching()) return;
    if (watching()) inotify_rm_watch(inotify_.fd, watch_);
    watch_ = -1;
    directory_ = directory;
    if (!directory || inotify_.fd < 0) return;
    watch_ = inotify_add_watch(inotify_.fd, directory->c_str(),
                               IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF |
                                   IN_MOVE_SELF | IN_ONLYDIR);
  }

  // Reads every queued event; true when one concerns snapshot.json, the
  // directory itself, or events were lost.
  bool drain() {
    bool relevant = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(inotify_.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        inotify_event event;
        std::memcpy(&event, buffer + offset, sizeof event);
        const char* name = buffer + offset + sizeof(inotify_event);
        const std::size_t nameSpace = std::min<std::size_t>(event.len, n - offset - sizeof(inotify_event));
        const std::string_view file(name, strnlen(name, nameSpace));
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        if (event.mask & IN_Q_OVERFLOW) relevant = true;
        // Late events of a watch dropped for another directory say nothing now.
        if (event.wd != watch_) continue;
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
          // The directory went away (or elsewhere): resolve it again.
          if (event.mask & IN_MOVE_SELF) inotify_rm_watch(inotify_.fd, watch_);
          watch_ = -1;
          relevant = true;
        }
        if (file == "snapshot.json") relevant = true;
      }
    }
    return relevant;
  }

 private:
  Descriptor inotify_;
  int watch_ = -1;
  std::optional<fs::path> directory_;
};

int printOnce(const StatusOptions& options, StatusFormat format) {
  const Date now = options.request.clock()();
  const widget::Timeline timeline = currentTimeline(options.request);
  const StatusLine line =
      statusLine(widget::currentEntry(timeline, now), now, currentLocale(), relativeTimeLocale());
  return exitAfter(writeOut(formatStatus(line, format, StatusOutput::once))).value_or(apps::kExitOk);
}

int watch(const StatusOptions& options, StatusFormat format) {
  const RequestOptions& request = options.request;
  const SharedStore store(Platform::forSharedDirectory(request.sharedDir));

  // SIGINT and SIGTERM arrive through a descriptor, so they end the loop
  // between two lines rather than in the middle of one; the output never
  // blocks, so they always get there.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  const Descriptor signals(signalfd(-1, &stopSignals, SFD_CLOEXEC));
  SharedDirectoryWatch directory;
  if (signals.fd < 0 || directory.fd() < 0) {
    std::cerr << "kelvo-widget status: cannot watch: " << std::strerror(errno) << "\n";
    return apps::kExitFailure;
  }

  LatestLineOutput out(STDOUT_FILENO);
  const widget::RefreshScope scope{relativeTimeLocale(), statusAgeStyles(format)};
  directory.follow(store.containerURL());
  widget::Timeline timeline = currentTimeline(request);
  std::string offered;
  for (;;) {
    const Date now = request.clock()();
    const std::string output = formatStatus(
        statusLine(widget::currentEntry(timeline, now), now, currentLocale(), relativeTimeLocale()), format,
        StatusOutput::stream);
    if (output != offered) {
      out.offer(output);
      offered = output;
    }
    if (const std::optional<int> status = exitAfter(out.flush())) return *status;

    // Sleep until the line may change (the age, the data turning stale), a
    // file changes, a stop signal arrives, the reader takes more or goes
    // away. At most a minute: without a watched directory (none yet, or it
    // went away) every wake-up looks again.
    const double wait = widget::nextRefresh(timeline, now, scope).at.timeIntervalSince(now);
    const int timeout = static_cast<int>(std::clamp(std::ceil(wait * 1000), 1.0, 60'000.0));
    pollfd fds[3] = {{signals.fd, POLLIN, 0},
                     {directory.fd(), POLLIN, 0},
                     {out.fd(), static_cast<short>(out.pending() ? POLLOUT : 0), 0}};
    const int ready = ::poll(fds, 3, timeout);
    if (ready < 0 && errno != EINTR) {
      std::cerr << "kelvo-widget status: " << std::strerror(errno) << "\n";
      return apps::kExitFailure;
    }
    if (fds[0].revents & POLLIN) return apps::kExitOk;
    if (fds[2].revents & (POLLERR | POLLHUP | POLLNVAL)) return apps::kExitFailure;

    const bool changed = (fds[1].revents & POLLIN) && directory.drain();
    if (changed || !directory.watching() || request.clock()() >= timeline.policy.date) {
      directory.follow(store.containerURL());
      timeline = currentTimeline(request);
    }
  }
}

}  // namespace

int statusCommand(const WidgetCommandLine& line) {
  const StatusOptions options{RequestOptions(line), line.statusFormat, line.watch};
  // A closed pipe is reported by write(), not by a killing signal.
  signal(SIGPIPE, SIG_IGN);
  StatusFormat format = StatusFormat::text;
  for (const StatusFormatInfo& row : kStatusFormats) {
    if (row.name == options.format) format = row.format;
  }
  return options.watch ? watch(options, format) : printOnce(options, format);
}

}  // namespace kelvo::host
