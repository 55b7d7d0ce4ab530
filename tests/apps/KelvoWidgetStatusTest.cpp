// `kelvo-widget status --watch` run as a bar runs it: a long-lived process
// whose lines are read as they come.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "ProgramRunner.h"

namespace {

using namespace kelvo::testing;
namespace fs = std::filesystem;

const char* kParked =
    R"json({"batteryPercentage":80,"rangeKm":400,"statusKey":"PARKED","isDriving":false,)json"
    R"json("writtenAt":"2026-12-06T11:55:00Z","unit":"Kilometers (km)","hasImage":false})json";
const char* kCharging =
    R"json({"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,)json"
    R"json("fullInMinutes":95,"writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":false})json";

// Waits (up to 10 s) until `file` holds `expected`; returns what it holds.
std::string waitForContent(const fs::path& file, const std::string& expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string content = readFile(file);
  while (content != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    content = readFile(file);
  }
  return content;
}

// Replaces snapshot.json the way the writer does: a new file renamed over it.
void replaceSnapshot(const Scratch& scratch, const char* json) {
  scratch.write("snapshot.json.new", json);
  fs::rename(scratch.shared() / "snapshot.json.new", scratch.shared() / "snapshot.json");
}

TEST(KelvoWidgetStatus, WatchPrintsEachChangeOnceAndStopsOnSigterm) {
  for (const int stopSignal : {SIGTERM, SIGINT}) {
    Scratch scratch;
    const Started started = start(
        "kelvo-widget",
        {"status", "--watch", "--shared-dir", scratch.shared().string(), "--now", "2026-12-06T12:00:00Z"},
        scratch);
    std::string expected = "No data yet\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    scratch.write("snapshot.json", kParked);  // written in place
    expected += "80% · 400 km · Parked · 5m ago\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    replaceSnapshot(scratch, kParked);  // the same state again: nothing to print
    replaceSnapshot(scratch, kCharging);
    expected += "64% · 318 km · Charging · 1h35m\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    fs::remove(scratch.shared() / "snapshot.json");
    expected += "No data yet\n";
    EXPECT_EQ(waitForContent(started.out, expected), expected);

    kill(started.pid, stopSignal);
    const ProgramRun run = finish(started);
    EXPECT_EQ(run.exitCode, 0) << "signal " << stopSignal;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(KelvoWidgetStatus, WatchEndsQuietlyWithStatusOneWhenTheReaderGoes) {
  Scratch scratch;
  scratch.write("snapshot.json", kParked);
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const std::string program = std::string(KELVO_BIN_DIR) + "/kelvo-widget";
  const std::string shared = scratch.shared().string();
  const std::string errFile = (scratch.root() / "stderr").string();
  std::vector<std::string> args = {program,  "status",       "--watch", "--format",
                                   "waybar", "--shared-dir", shared};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string locale = "LC_ALL=C.UTF-8";
  char* env[] = {locale.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);

  // The first line arrives, then the bar goes away; the next change is then
  // written to no one.
  char first[512];
  ASSERT_GT(read(pipeEnds[0], first, sizeof first), 0);
  EXPECT_EQ(std::string(first, 10), R"({"text":"8)");
  close(pipeEnds[0]);
  replaceSnapshot(scratch, kCharging);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(readFile(errFile), "");
}

}  // namespace
