#pragma once

// Starting and stopping the real servers and tools the tests use.

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kelvo::testing {

// A null-terminated array of the strings' characters, for exec.
inline std::vector<char*> cStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Starts argv[0] (found on PATH) in a process group of its own, so a stop
// reaches what it starts: stdin from /dev/null, stdout and stderr appended
// to `log`, our environment unless one is given; `passFd` becomes its `asFd`.

inline pid_t spawnProcess(std::vector<std::string> argv, const std::filesystem::path& log,
                          std::vector<std::string>* environment = nullptr, int passFd = -1, int asFd = -1) {
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

// A TCP socket on 127.0.0.1, listening on `port` (0: any free one) with
// `backlog`, or connected to it when `backlog` is negative: the port, or 0.
// The socket goes to `keep` when given, else it is closed.
inline int loopback(int port, int backlog, int* keep = nullptr) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  const bool ok = backlog >= 0 ? ::bind(fd, raw, length) == 0 && ::listen(fd, backlog) == 0 &&
                                     ::getsockname(fd, raw, &length) == 0
                               : ::connect(fd, raw, length) == 0;
  if (keep != nullptr) *keep = fd;
  if (keep == nullptr) ::close(fd);
  return ok ? ntohs(address.sin_port) : 0;
}

// A self-signed certificate for 127.0.0.1 (a server's and the CA a client
// trusts in one), made with openssl as `dir`/`name`.pem and .key; empty on failure.
inline std::filesystem::path selfSigned(const std::filesystem::path& dir, const std::string& name) {
  const std::filesystem::path cert = dir / (name + ".pem");
  return runProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                     "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                     std::filesystem::path(cert).replace_extension(".key"), "-out", cert},
                    dir / (name + ".log")) == 0
             ? cert
             : std::filesystem::path();
}

}  // namespace kelvo::testing
