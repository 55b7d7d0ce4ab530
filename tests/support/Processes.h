#pragma once

// Starting and stopping the real servers and tools the tests use.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kelvo::testing {

// Starts argv[0] (found on PATH) in a process group of its own, so a stop
// reaches what it starts: stdin from /dev/null, stdout and stderr appended
// to `log`, our environment unless one is given; `passFd` becomes its `asFd`.
inline pid_t spawnProcess(std::vector<std::string> argv, const std::filesystem::path& log,
                          std::vector<std::string>* environment = nullptr, int passFd = -1, int asFd = -1) {
  const auto cStrings = [](std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  };
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (passFd >= 0) posix_spawn_file_actions_adddup2(&actions, passFd, asFd);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  auto rawArgv = cStrings(argv);
  std::vector<char*> rawEnvironment = environment ? cStrings(*environment) : std::vector<char*>();
  if (posix_spawnp(&pid, rawArgv[0], &actions, &attributes, rawArgv.data(),
                   environment ? rawEnvironment.data() : environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

// Runs a tool to its end; its exit status, -1 when it did not exit.
inline int runProcess(const std::vector<std::string>& argv, const std::filesystem::path& log = "/dev/null",
                      std::vector<std::string> environment = {}) {
  const pid_t pid = spawnProcess(argv, log, environment.empty() ? nullptr : &environment);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Polls `done` every 50 ms until it holds or `seconds` have passed.
inline bool waitFor(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// SIGTERM to the process group, SIGKILL when it has not ended within 2 s.
inline void stopProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  if (!waitFor([pid] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 2)) {
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

// How often `part` occurs in `text` (a line in a program's log, say).
inline std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace kelvo::testing
