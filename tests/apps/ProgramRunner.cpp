#include "ProgramRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "Processes.h"

namespace kelvo::testing {

namespace fs = std::filesystem;

void makeUnprivilegedOwner(const Scratch& scratch, const fs::path& path) {
  if (::geteuid() != 0) return;
  fs::permissions(scratch.root(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  if (::lchown(path.c_str(), 65534, 65534) != 0)
    throw std::system_error(errno, std::generic_category(), "cannot hand " + path.string() + " to nobody");
}

Started start(const std::string& program, const std::vector<std::string>& args, const Scratch& scratch,
              const Launch& launch) {
  std::string path = std::string(KELVO_BIN_DIR) + "/" + program;
  std::vector<std::string> argv = {path};
  if (launch.fileSizeLimit > 0) {
    argv.insert(argv.begin(), {"prlimit", "--fsize=" + std::to_string(launch.fileSizeLimit), "--"});
    path = "/usr/bin/prlimit";
  }
  if (launch.unprivileged && ::geteuid() == 0) {
    argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    path = "/usr/bin/setpriv";
  }
  argv.insert(argv.end(), args.begin(), args.end());

  std::vector<std::string> env = {"LC_ALL=C.UTF-8", "LANGUAGE=", "HOME=" + scratch.root().string(),
                                  "PATH=/usr/bin:/bin"};
  // Sanitizer settings (leak suppressions under ASan) reach the program too.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  // An extra entry replaces a default of the same name (getenv finds the first).
  for (const std::string& extra : launch.environment) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env, [&name](const std::string& entry) { return entry.starts_with(name); });
  }
  env.insert(env.end(), launch.environment.begin(), launch.environment.end());
  // The user database's home wins over HOME: keep the default store in the
  // scratch directory too (the first entry of a name counts).
  env.push_back("XDG_DATA_HOME=" + (scratch.root() / "data").string());

  Started started;
  static int counter = 0;
  const std::string tag = std::to_string(++counter);
  started.out = scratch.root() / ("stdout." + tag);
  started.err = scratch.root() / ("stderr." + tag);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string input = launch.input.empty() ? "/dev/null" : launch.input.string();
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  const auto connect = [&](int fd, int given, const fs::path& file) {
    if (given == Launch::kClosed) {
      posix_spawn_file_actions_addclose(&actions, fd);
    } else if (given >= 0) {
      posix_spawn_file_actions_adddup2(&actions, given, fd);
    } else {
      posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
  };
  connect(1, launch.out, started.out);
  connect(2, launch.err, started.err);
  const auto [rawArgv, rawEnv] = std::pair(cStrings(argv), cStrings(env));
  if (posix_spawn(&started.pid, path.c_str(), &actions, nullptr, rawArgv.data(), rawEnv.data()) != 0)
    started.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return started;
}

ProgramRun finish(const Started& started) {
  ProgramRun run;
  if (started.pid < 0) return run;
  int status = 0;
  rusage usage{};
  while (wait4(started.pid, &status, 0, &usage) < 0) {
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.out = readFile(started.out);
  run.err = readFile(started.err);
  run.peakKiB = usage.ru_maxrss;
  return run;
}

ProgramRun runWidget(std::vector<std::string> args, const Scratch& scratch, const Launch& launch) {
  const auto given = [&](const char* option) {
    return std::find(args.begin(), args.end(), option) != args.end();
  };
  if (!given("--shared-dir")) args.insert(args.end(), {"--shared-dir", scratch.shared().string()});
  if (!given("--now")) args.insert(args.end(), {"--now", kWidgetNow});
  return runProgram("kelvo-widget", args, scratch, launch);
}

}  // namespace kelvo::testing
