#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "Commands.h"
#include "Drawing.h"
#include "KelvoShared/Localization.h"
#include "KelvoShared/LogText.h"
#include "KelvoWidget/CarEntry.h"
#include "KelvoWidget/RefreshSchedule.h"
#include "OutputFile.h"

namespace kelvo::host {

namespace {

struct RunOptions {
  std::string outDir;
  std::vector<std::string> families;
  RequestOptions request;  // --shared-dir and --now
  DrawingOptions drawing;
  bool once;
};

std::string timestamp(Date date) { return formatInternetDateTime(date); }

// The log on standard error: one line per event, control characters escaped
// so a snapshot's texts cannot forge lines or drive the terminal. When the
// log cannot be written (its reader went away: EPIPE, since SIGPIPE is
// ignored), logging stops and the drawing goes on.
class RunLog {
 public:
  void line(const std::string& text) {
    if (!stopped_) stopped_ = !writeLogLine("kelvo-widget run", text, LogEscape::wholeLine);
  }
  // A line stamped with the current time.
  void event(const std::string& text) { line(timestamp(Date::now()) + " " + text); }

 private:
  bool stopped_ = false;
};

// Which drawings get a log line.
enum class Logged { every, failures };

// Draws the entry of `timeline` current at `now` to DIR/<family>.png;
// false when it could not.
bool draw(const RunOptions& options, ui::WidgetFamily family, const widget::Timeline& timeline, Date now,
          Logged logged, RunLog& log) {
  const widget::CarEntry& entry = widget::currentEntry(timeline, now);
  const std::string name(ui::familyInfo(family).name);

  const ui::Environment environment = drawingEnvironment(family, now, options.drawing);
  const Result<std::string> png = drawEntry(entry, environment, ui::OutputFormat::png, options.drawing.scale);
  const std::filesystem::path path = std::filesystem::path(options.outDir) / (name + ".png");
  if (!png) {
    log.event("cannot draw " + name + ": " + png.error().message);
    return false;
  }
  if (const Status written = writeOutputFile(path, *png, FifoReader::mustBeThere); !written) {
    log.event(written.error().message);
    return false;
  }
  if (logged == Logged::every) {
    log.event("drew " + name + " (" + widget::describe(entry) + ") to " + path.string() +
              "; next reload at " + timestamp(timeline.policy.date));
  }
  return true;
}

enum class Wake { timeout, refresh, stop };

// Waits `seconds` or until SIGINT/SIGTERM (stop) or SIGHUP (refresh now)
// arrives. All three are blocked, so they queue here instead of acting
// mid-write.
Wake waitForSignal(const sigset_t& signals, double seconds) {
  seconds = std::max(seconds, 1.0);
  timespec timeout{};
  timeout.tv_sec = static_cast<time_t>(seconds);
  timeout.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
  for (;;) {
    const int received = sigtimedwait(&signals, nullptr, &timeout);
    if (received == SIGHUP) return Wake::refresh;
    if (received > 0) return Wake::stop;
    if (errno == EAGAIN) return Wake::timeout;
    // EINTR: some other signal; keep waiting (the remaining time restarts,
    // which only delays the next refresh a little).
  }
}

int run(const RunOptions& options) {
  std::vector<ui::WidgetFamily> families;
  for (const std::string& name : options.families) families.push_back(*ui::parseFamily(name));
  if (families.empty()) families = ui::offeredFamilies();

  std::error_code error;
  std::filesystem::create_directories(options.outDir, error);
  if (error || !std::filesystem::is_directory(options.outDir)) {
    std::cerr << "kelvo-widget run: cannot use " << escapeForLog(options.outDir) << " as the output directory"
              << (error ? ": " + error.message() : std::string()) << "\n";
    return apps::kExitFailure;
  }

  const RequestOptions& request = options.request;
  RunLog log;

  // A log reader that went away must not end the drawing (EPIPE instead).
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t waitSignals;
  sigemptyset(&waitSignals);
  sigaddset(&waitSignals, SIGHUP);
  if (!options.once) {
    sigaddset(&waitSignals, SIGINT);
    sigaddset(&waitSignals, SIGTERM);
  }
  // With --once, SIGHUP stays pending and is dropped at exit.
  pthread_sigmask(SIG_BLOCK, &waitSignals, nullptr);

  // Each family's timeline, read at a reload and drawn again whenever what
  // it shows changes (its age, the data turning stale) in between.
  std::vector<widget::Timeline> timelines(families.size());
  const widget::RefreshScope scope{relativeTimeLocale()};
  bool reload = true;
  for (;;) {
    const Date now = request.clock()();
    bool allDrawn = true;
    std::optional<widget::Refresh> next;
    for (std::size_t i = 0; i < families.size(); ++i) {
      if (reload) timelines[i] = request.provider().timeline({families[i], false});
      allDrawn =
          draw(options, families[i], timelines[i], now, reload ? Logged::every : Logged::failures, log) &&
          allDrawn;
      const widget::Refresh refresh = widget::nextRefresh(timelines[i], now, scope);
      if (!next || refresh.at < next->at) next = refresh;
    }
    if (options.once) return allDrawn ? apps::kExitOk : apps::kExitFailure;

    switch (waitForSignal(waitSignals, next->at.timeIntervalSince(request.clock()()))) {
      case Wake::timeout:
        // Also when the clock jumped (a suspended machine) past a reload.
        reload = next->reason == widget::Refresh::Reason::reload ||
                 std::any_of(timelines.begin(), timelines.end(), [&](const widget::Timeline& timeline) {
                   return request.clock()() >= timeline.policy.date;
                 });
        break;
      case Wake::refresh:
        log.event("refreshing now (SIGHUP)");
        reload = true;
        break;
      case Wake::stop:
        log.line("stopping");
        return apps::kExitOk;
    }
  }
}

}  // namespace

int runCommand(const WidgetCommandLine& options) {
  return run(
      {options.outDir, options.families, RequestOptions(options), DrawingOptions(options), options.once});
}

}  // namespace kelvo::host
