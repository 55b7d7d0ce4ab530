// Where kelvo-widget's output goes and what happens when it cannot arrive:
// output files, standard output, the run log and its signals.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ProgramRunner.h"

namespace kelvo::testing {
namespace {

namespace fs = std::filesystem;

const char* kSnapshot =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,)json"
    R"json("writtenAt":"2026-12-06T11:58:00Z","unit":"Kilometers (km)","hasImage":false})json";

std::vector<std::string> renderTo(const Scratch& scratch, const fs::path& output) {
  return {
      "render", "--shared-dir", scratch.shared().string(), "--now", "2026-12-06T12:00:00Z", "--scale", "0.5",
      "-o",     output.string()};
}

// Reads everything a FIFO or terminal delivers until `size` bytes or 30 s.
std::future<std::string> drain(int fd, std::size_t size) {
  return std::async(std::launch::async, [fd, size] {
    std::string bytes;
    char buffer[4096];
    pollfd poller{fd, POLLIN, 0};
    while (bytes.size() < size && ::poll(&poller, 1, 30000) > 0) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
  });
}

// Waits (bounded) until `file` holds `count` copies of `text`.
bool waitForLines(const fs::path& file, const std::string& text, std::size_t count) {
  for (int i = 0; i < 600; ++i) {
    const std::string log = readFile(file);
    std::size_t found = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++found;
    if (found >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(KelvoWidgetOutput, RenderReplacesOnlyRegularFilesAndWritesThroughLinks) {
  Scratch scratch;
  scratch.write("snapshot.json", kSnapshot);
  const fs::path dir = scratch.root();
  ASSERT_EQ(runProgram("kelvo-widget", renderTo(scratch, dir / "expected.png"), scratch).exitCode, 0);
  const std::string png = readFile(dir / "expected.png");
  ASSERT_GT(png.size(), 100u);

  // Links: to a regular file, through a chain to a target not there yet.
  fs::create_directory(dir / "real");
  std::ofstream(dir / "real" / "old.png") << "old";
  fs::create_symlink("real/old.png", dir / "link.png");
  fs::create_symlink("link2.png", dir / "chain.png");
  fs::create_symlink(dir / "real" / "new.png", dir / "link2.png");
  for (const char* name : {"link.png", "chain.png"}) {
    const ProgramRun run = runProgram("kelvo-widget", renderTo(scratch, dir / name), scratch);
    EXPECT_EQ(run.exitCode, 0) << name << run.err;
    EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
  }
  EXPECT_EQ(readFile(dir / "real" / "old.png"), png);
  EXPECT_EQ(readFile(dir / "real" / "new.png"), png);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), {}), 2) << "no temporary file left";

  // A FIFO, directly and through a link, and a terminal (a character device
  // in /dev/pts, where no file can be created) receive the bytes.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", dir / "to-fifo");
  for (const char* name : {"fifo", "to-fifo"}) {
    const int reader = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    std::future<std::string> received = drain(reader, png.size());
    const ProgramRun run = runProgram("kelvo-widget", renderTo(scratch, dir / name), scratch);
    EXPECT_EQ(run.exitCode, 0) << name << run.err;
    EXPECT_EQ(received.get(), png) << name;
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo")) << name;
  }
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
  const std::string device = ::ptsname(terminal);
  const int side = ::open(device.c_str(), O_RDWR | O_NOCTTY);
  termios raw{};
  ::tcgetattr(side, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(side, TCSANOW, &raw);
  std::future<std::string> shown = drain(terminal, png.size());
  EXPECT_EQ(runProgram("kelvo-widget", renderTo(scratch, device), scratch).exitCode, 0);
  EXPECT_EQ(shown.get(), png);
  EXPECT_TRUE(fs::is_character_file(device));
  ::close(side);
  ::close(terminal);

  // /dev/fd/1 is this run's stdout (a file); a directory is refused.
  const ProgramRun stdoutRun = runProgram("kelvo-widget", renderTo(scratch, "/dev/fd/1"), scratch);
  EXPECT_EQ(stdoutRun.exitCode, 0) << stdoutRun.err;
  EXPECT_EQ(stdoutRun.out, png);
  const ProgramRun directory = runProgram("kelvo-widget", renderTo(scratch, dir / "real"), scratch);
  EXPECT_EQ(directory.exitCode, 1);
  EXPECT_EQ(directory.err, "kelvo-widget: cannot write " + (dir / "real").string() + ": it is a directory\n");
  EXPECT_TRUE(fs::is_directory(dir / "real"));
}

TEST(KelvoWidgetOutput, RunOutDirFilesFollowTheSameRules) {
  Scratch scratch;
  const fs::path out = scratch.root() / "widgets";
  fs::create_directories(out / "large.png");
  fs::create_symlink(scratch.root() / "elsewhere.png", out / "small.png");
  ASSERT_EQ(::mkfifo((out / "medium.png").c_str(), 0600), 0);
  const int reader = ::open((out / "medium.png").c_str(), O_RDONLY | O_NONBLOCK);
  std::future<std::string> received = drain(reader, std::string::npos);
  const ProgramRun run = runProgram(
      "kelvo-widget", {"run", "--once", "--out-dir", out.string(), "--shared-dir", scratch.shared().string()},
      scratch);
  EXPECT_EQ(run.exitCode, 1) << "large could not be drawn";
  EXPECT_EQ(received.get().substr(0, 4), "\x89PNG");
  ::close(reader);
  EXPECT_TRUE(fs::is_symlink(out / "small.png"));
  EXPECT_EQ(readFile(scratch.root() / "elsewhere.png").substr(0, 4), "\x89PNG");
  EXPECT_TRUE(fs::is_fifo(out / "medium.png"));
  EXPECT_TRUE(fs::is_directory(out / "large.png"));
  EXPECT_NE(run.err.find("large.png: it is a directory\n"), std::string::npos) << run.err;
}

TEST(KelvoWidgetOutput, LostStandardOutputFailsWithOneLine) {
  Scratch scratch;
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const std::string dir = scratch.shared().string();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"kelvo-widget", "info"},
           {"kelvo-widget", "placeholder", "--shared-dir", dir},
           {"kelvo-widget", "snapshot", "--shared-dir", dir},
           {"kelvo-widget", "timeline", "--shared-dir", dir},
           {"kelvo-widget", "render", "--shared-dir", dir},
           {"kelvo-widget", "render", "--format", "json", "--shared-dir", dir},
           {"kelvo", "show", "--shared-dir", dir},
           {"kelvo", "where", "--shared-dir", dir}}) {
    for (const int out : {full, Launch::kClosed}) {
      const std::string what = args[1] + (out == full ? " > /dev/full" : " >&-");
      const ProgramRun run = runProgram(args[0], {args.begin() + 1, args.end()}, scratch, Launch{{}, out});
      EXPECT_EQ(run.exitCode, 1) << what;
      EXPECT_TRUE(run.err.starts_with(args[0] + ": cannot write to standard output: ")) << what << run.err;
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << what << run.err;
    }
  }
  ::close(full);
}

TEST(KelvoWidgetRunSignals, ALogReaderThatWentAwayStopsTheLogNotTheDrawing) {
  Scratch scratch;
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  ::close(pipe[0]);
  const fs::path out = scratch.root() / "widgets";
  const ProgramRun run = runProgram(
      "kelvo-widget", {"run", "--once", "--out-dir", out.string(), "--shared-dir", scratch.shared().string()},
      scratch, Launch{{}, -1, pipe[1]});
  ::close(pipe[1]);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0);
  for (const char* name : {"small.png", "medium.png", "large.png"})
    EXPECT_TRUE(fs::exists(out / name)) << name;
}

TEST(KelvoWidgetRunSignals, SighupRefreshesAtOnceAndTheLogEscapesControlCharacters) {
  Scratch scratch;
  std::string snapshot = kSnapshot;
  snapshot.replace(snapshot.find("CHARGING"), 8, R"(EVIL\nkelvo-widget run: forged\u001b[2J\r)");
  scratch.write("snapshot.json", snapshot);
  const fs::path out = scratch.root() / "widgets";
  const Started started = start(
      "kelvo-widget",
      {"run", "--family", "small", "--out-dir", out.string(), "--shared-dir", scratch.shared().string()},
      scratch);
  ASSERT_GT(started.pid, 0);
  EXPECT_TRUE(waitForLines(started.err, "drew small", 1));
  ::kill(started.pid, SIGHUP);
  EXPECT_TRUE(waitForLines(started.err, "drew small", 2));  // long before the 15-minute reload
  ::kill(started.pid, SIGTERM);
  const ProgramRun run = finish(started);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("refreshing now (SIGHUP)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(R"((snapshot EVIL\nkelvo-widget run: forged\x1b[2J\r) to)"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  std::size_t lines = 0;
  for (char c : run.err) lines += c == '\n';
  EXPECT_EQ(lines, 4u) << "drew, refreshing, drew, stopping: " << run.err;
}

}  // namespace
}  // namespace kelvo::testing
