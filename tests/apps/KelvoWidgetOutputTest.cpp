// Where kelvo-widget's output goes and what happens when it cannot arrive:
// output files, standard output, the run log and its signals, and
// `status --watch` run as a bar runs it, its lines read as they come.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "KelvoShared/Date.h"
#include "Processes.h"
#include "ProgramRunner.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;

const char* kParked =
    R"json({"batteryPercentage":80,"rangeKm":400,"statusKey":"PARKED","isDriving":false,)json"
    R"json("writtenAt":"2026-12-06T11:55:00Z","unit":"Kilometers (km)","hasImage":false})json";
const char* kCharging =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,)json"
    R"json("fullInMinutes":95,"writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":false})json";

// Everything a FIFO or terminal delivers, until `size` bytes, its end or 30 s.
std::future<std::string> drain(int fd, std::size_t size = std::string::npos) {
  return std::async(std::launch::async, [fd, size] {
    std::string bytes;
    char buffer[4096];
    pollfd poller{fd, POLLIN, 0};
    for (ssize_t n = 1; n > 0 && bytes.size() < size && ::poll(&poller, 1, 30000) > 0;) {
      if ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
  });
}

TEST(KelvoWidgetOutput, RenderReplacesOnlyRegularFilesAndWritesThroughLinks) {
  Scratch scratch;
  const fs::path dir = scratch.root();
  const auto render = [&](const fs::path& output) {
    return runWidget({"render", "--scale", "0.5", "--shared-dir", dir / "none", "-o", output}, scratch);
  };
  ASSERT_EQ(render(dir / "expected.png").exitCode, 0);
  const std::string png = readFile(dir / "expected.png");

  // Links lead to a regular file, or through a chain to a missing one.
  fs::create_directory(dir / "real");
  writeFile(dir / "real" / "old.png", "old");
  fs::create_symlink("real/old.png", dir / "link.png");
  fs::create_symlink("link2.png", dir / "chain.png");
  fs::create_symlink(dir / "real" / "new.png", dir / "link2.png");
  for (const char* name : {"link.png", "chain.png"}) {
    EXPECT_EQ(render(dir / name).exitCode, 0) << name;
    EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
  }
  EXPECT_TRUE(readFile(dir / "real" / "old.png") == png && readFile(dir / "real" / "new.png") == png);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), {}), 2) << "a temporary file is left";

  // A FIFO, directly and through a link, is written to.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", dir / "to-fifo");
  for (const char* name : {"fifo", "to-fifo"}) {
    const int reader = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    std::future<std::string> received = drain(reader, png.size());
    EXPECT_EQ(render(dir / name).exitCode, 0) << name;
    EXPECT_TRUE(received.get() == png) << name;
    ::close(reader);
  }
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));

  // /dev/fd/1 is the run's stdout (a file); a directory is refused.
  EXPECT_TRUE(render("/dev/fd/1").out == png);
  const ProgramRun directory = render(dir / "real");
  EXPECT_EQ(directory.exitCode, 1);
  EXPECT_EQ(directory.err, "kelvo-widget: cannot write " + (dir / "real").string() + ": it is a directory\n");
}

// run's files follow render -o's rules (one code path); what is its own: a
// family it cannot write and a log nobody reads stop neither the others.
TEST(KelvoWidgetOutput, RunDrawsEveryFamilyAndGoesOnPastOneItCannotWriteAndALostLog) {
  Scratch scratch;
  const fs::path out = scratch.root() / "widgets";
  fs::create_directories(out / "medium.png");
  int log[2];  // stderr: a pipe whose reader went away
  ASSERT_EQ(::pipe2(log, O_CLOEXEC), 0);
  ::close(log[0]);
  const ProgramRun run =
      runWidget({"run", "--once", "--out-dir", out.string()}, scratch, Launch{{}, -1, log[1]});
  ::close(log[1]);
  EXPECT_EQ(run.exitCode, 1) << "medium could not be drawn; signal " << run.signal;
  EXPECT_TRUE(readFile(out / "small.png").starts_with("\x89PNG") &&
              readFile(out / "large.png").starts_with("\x89PNG"));
  // Once medium can be written: every family, a log line each, no temporary file left.
  fs::remove(out / "medium.png");
  scratch.write("snapshot.json", kCharging);
  const ProgramRun again = runWidget({"run", "--once", "--out-dir", out.string()}, scratch);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(readFile(out / "medium.png").starts_with("\x89PNG"));
  EXPECT_EQ(count(again.err, "\n"), 3u) << again.err;
  EXPECT_NE(again.err.find("drew medium (snapshot CHARGING)"), std::string::npos) << again.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3) << "a temporary file is left";
}

// Every text answer goes through one last flush in main(); a drawing has its own writer.
TEST(KelvoWidgetOutput, LostStandardOutputFailsWithOneLine) {
  Scratch scratch;
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  const std::string dir = scratch.shared().string();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"kelvo-widget", "timeline", "--shared-dir", dir},
                                             {"kelvo-widget", "render", "--shared-dir", dir},
                                             {"kelvo", "show", "--shared-dir", dir}}) {
    for (const int out : {full, Launch::kClosed}) {
      const std::string what = args[1] + (out == full ? " > /dev/full" : " >&-");
      const ProgramRun run = runProgram(args[0], {args.begin() + 1, args.end()}, scratch, Launch{{}, out});
      EXPECT_EQ(run.exitCode, 1) << what;
      EXPECT_TRUE(run.err.starts_with(args[0] + ": cannot write to standard output: ")) << what << run.err;
      EXPECT_EQ(count(run.err, "\n"), 1u) << what << run.err;
    }
  }
  ::close(full);
}

// FONTCONFIG_FILE=<a configuration with the fonts in `dir` and a cache of
// its own in the scratch directory, empty at first>.
std::string fontsIn(const Scratch& scratch, const fs::path& dir) {
  const fs::path config = scratch.root() / "fonts.conf";
  writeFile(config, "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + dir.string() + "</dir><cachedir>" +
                        (scratch.root() / "cache").string() + "</cachedir></fontconfig>\n");
  return "FONTCONFIG_FILE=" + config.string();
}

// Fonts are set up on a thread of their own while the entry is made; a
// machine without them still gets the one line that names the package.
TEST(KelvoWidgetOutput, WithoutItsFontsDrawingNamesThePackageToInstall) {
  Scratch scratch;
  const ProgramRun run = runProgram("kelvo-widget", {"render", "--shared-dir", scratch.shared().string()},
                                    scratch, {fontsIn(scratch, scratch.root() / "no-fonts")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(
      run.err,
      "kelvo-widget: cannot draw: font family \"Inter\" is not installed (Debian package fonts-inter)\n");
}

// Whether the process's main thread blocks `signal`.
bool blocks(pid_t pid, int signal) {
  const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
  const std::size_t at = status.find("SigBlk:");
  return at != std::string::npos &&
         (std::stoull(status.substr(at + 7), nullptr, 16) >> (signal - 1) & 1) != 0;
}

TEST(KelvoWidgetRunSignals, SighupRefreshesAtOnceAndTheLogEscapesControlCharacters) {
  Scratch scratch;
  scratch.write(
      "snapshot.json",
      R"j({"batteryPercentage":64,"rangeKm":318,"statusKey":"EVIL\nkelvo-widget run: forged\u001b[2J\r",)j"
      R"j("isDriving":false,"writtenAt":"2026-12-06T11:58:00Z","unit":"Kilometers (km)","hasImage":false})j");
  // Fonts without a cache take a while to load, on a thread of their own:
  // SIGHUP comes while they do, once run has set its signals up.
  const Started started = start(
      "kelvo-widget",
      {"run", "--family", "small", "--out-dir", scratch.root() / "out", "--shared-dir", scratch.shared()},
      scratch, {fontsIn(scratch, "/usr/share/fonts")});
  const auto drawn = [&](std::size_t lines) {
    return waitFor([&] { return count(readFile(started.err), "drew small") >= lines; }, 30) &&
           count(readFile(started.err), "drew small") == lines;
  };
  // Not while start-up blocks every signal for a moment, to start the font thread.
  ASSERT_TRUE(waitFor([&] { return blocks(started.pid, SIGHUP) && !blocks(started.pid, SIGUSR1); }, 30));
  ::kill(started.pid, SIGHUP);
  EXPECT_TRUE(drawn(2));  // long before the 15-minute reload
  ::kill(started.pid, SIGTERM);
  const ProgramRun run = finish(started);
  EXPECT_EQ(run.exitCode, 0) << "signal " << run.signal;
  EXPECT_EQ(count(run.err, "\n"), 4u) << "drew, refreshing now (SIGHUP), drew, stopping: " << run.err;
  EXPECT_EQ(count(run.err, R"((snapshot EVIL\nkelvo-widget run: forged\x1b[2J\r) to)"), 2u) << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
}

// Replaces snapshot.json the way the writer does: a new file renamed over it.
void replaceSnapshot(const Scratch& scratch, const char* json) {
  scratch.write("snapshot.json.new", json);
  fs::rename(scratch.shared() / "snapshot.json.new", scratch.shared() / "snapshot.json");
}

TEST(KelvoWidgetStatus, WatchPrintsEachChangeOnceAndStopsOnSigterm) {
  for (const int stopSignal : {SIGTERM, SIGINT}) {
    Scratch scratch;
    const Started started =
        start("kelvo-widget", {"status", "--watch", "--shared-dir", scratch.shared(), "--now", kWidgetNow},
              scratch);
    std::string expected;
    const auto shows = [&](const char* line) {
      expected += line;
      return waitFor([&] { return readFile(started.out) == expected; }, 30);
    };
    EXPECT_TRUE(shows("No data yet\n")) << readFile(started.out);
    scratch.write("snapshot.json", kParked);  // written in place
    EXPECT_TRUE(shows("80% · 400 km · Parked · 5m ago\n")) << readFile(started.out);
    replaceSnapshot(scratch, kParked);  // the same state again: nothing to print
    replaceSnapshot(scratch, kCharging);
    EXPECT_TRUE(shows("64% · 318 km · Charging · 1h35m\n")) << readFile(started.out);
    fs::remove(scratch.shared() / "snapshot.json");
    EXPECT_TRUE(shows("No data yet\n")) << readFile(started.out);

    ::kill(started.pid, stopSignal);
    const ProgramRun run = finish(started);
    EXPECT_EQ(run.exitCode, 0) << "signal " << stopSignal;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(KelvoWidgetStatus, WatchEndsQuietlyWithStatusOneWhenTheReaderGoes) {
  Scratch scratch;
  scratch.write("snapshot.json", kParked);
  int bar[2];
  ASSERT_EQ(::pipe2(bar, O_CLOEXEC), 0);
  const Started started =
      start("kelvo-widget", {"status", "--watch", "--format", "waybar", "--shared-dir", scratch.shared()},
            scratch, Launch{{}, bar[1]});
  ::close(bar[1]);
  // The first line arrives, then the bar goes away; the next change is then
  // written to no one.
  EXPECT_EQ(drain(bar[0], 10).get().substr(0, 10), R"({"text":"8)");
  ::close(bar[0]);
  replaceSnapshot(scratch, kCharging);
  const ProgramRun run = finish(started);
  EXPECT_EQ(run.exitCode, 1) << "ended by signal " << run.signal;
  EXPECT_EQ(run.err, "");
}

// Stale data shows its age the moment it turns stale, with no file changing;
// and a bar that stops reading (its pipe full) holds up no stop signal.
TEST(KelvoWidgetStatus, WatchShowsTheAgeAsDataTurnsStaleAndStopsWhateverItsReader) {
  Scratch scratch;
  const std::string written = formatInternetDateTime(Date::now().addingTimeInterval(-1797));
  scratch.write("snapshot.json", std::string(kCharging).replace(
                                     std::string(kCharging).find("2026-12-06T11:58:30Z"), 20, written));
  int full[2];
  ASSERT_EQ(::pipe2(full, O_CLOEXEC | O_NONBLOCK), 0);
  while (::write(full[1], kCharging, 64) > 0) {
  }
  ::fcntl(full[1], F_SETFL, 0);  // blocking, as a bar's pipe is
  for (const Launch& launch : {Launch{}, Launch{{}, full[1]}}) {
    const Started started =
        start("kelvo-widget", {"status", "--watch", "--shared-dir", scratch.shared()}, scratch, launch);
    const std::string stale = "64% · 318 km · Charging · 1h35m\n64% · 318 km · Charging · 30m ago\n";
    EXPECT_TRUE(launch.out >= 0 || waitFor([&] { return readFile(started.out) == stale; }, 30))
        << readFile(started.out);
    ASSERT_TRUE(waitFor([&] { return blocks(started.pid, SIGTERM); }, 30));
    ::kill(started.pid, SIGTERM);
    const bool ended = waitFor(
        [&] {
          return readFile("/proc/" + std::to_string(started.pid) + "/stat").find(") Z ") != std::string::npos;
        },
        10);
    if (!ended) ::kill(started.pid, SIGKILL);
    const int exitCode = finish(started).exitCode;
    EXPECT_TRUE(ended && exitCode == 0) << "reader " << launch.out << ": exit " << exitCode;
  }
  ::close(full[0]);
  ::close(full[1]);
}

}  // namespace
}  // namespace kelvo::testing
