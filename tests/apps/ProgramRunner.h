#pragma once

// Runs the built programs the way a user does: a separate process, its own
// temporary home and shared directory, output captured from files.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "TempDirectory.h"

namespace kelvo::testing {

// A temporary directory with a "shared" folder in it, removed afterwards.
class Scratch {
 public:
  Scratch() { std::filesystem::create_directories(shared()); }

  std::filesystem::path root() const { return temp_.path(); }
  std::filesystem::path shared() const { return root() / "shared"; }
  // Writes `bytes` as shared()/name.
  void write(const std::string& name, std::string_view bytes) const { writeFile(shared() / name, bytes); }

 private:
  TempDirectory temp_;
};

struct ProgramRun {
  int exitCode = -1;  // -1 when it did not exit normally
  int signal = 0;     // the signal that ended it, if any
  std::string out;
  std::string err;
  long peakKiB = 0;  // the child's peak resident set
};

// A started program that runs until it is signalled or waited for.
struct Started {
  pid_t pid = -1;
  std::filesystem::path out, err;
};

// How a program is started beyond its arguments.
struct Launch {
  static constexpr int kClosed = -2;
  std::vector<std::string> environment;  // extra NAME=value entries
  int out = -1;                          // descriptor for stdout instead of a file, or kClosed
  int err = -1;                          // the same for stderr
  // As root, run as nobody:nogroup (through setpriv) so that file
  // permissions apply; see makeUnprivilegedOwner.
  bool unprivileged = false;
  std::filesystem::path input{};  // standard input from this file instead of /dev/null
  long fileSizeLimit = 0;         // bytes a written file may grow to (prlimit --fsize), 0 for any
};

// As root: hands `path` to nobody:nogroup and lets everyone through the
// scratch root, so an unprivileged launch meets `path`'s mode bits as the
// owner. Otherwise `path` is already the runner's own.
void makeUnprivilegedOwner(const Scratch& scratch, const std::filesystem::path& path);

// Starts bin/<program> (no shell) in the C.UTF-8 locale with HOME and
// XDG_DATA_HOME (<root>/data) in the scratch directory; stdout and stderr go
// to files in it.
Started start(const std::string& program, const std::vector<std::string>& args, const Scratch& scratch,
              const Launch& launch);
inline Started start(const std::string& program, const std::vector<std::string>& args, const Scratch& scratch,
                     const std::vector<std::string>& extraEnvironment = {}) {
  return start(program, args, scratch, Launch{extraEnvironment});
}
// Waits for a started program to end.
ProgramRun finish(const Started& started);
// start + finish.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const Scratch& scratch, const Launch& launch) {
  return finish(start(program, args, scratch, launch));
}
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const Scratch& scratch, const std::vector<std::string>& extraEnvironment = {}) {
  return finish(start(program, args, scratch, Launch{extraEnvironment}));
}

// bin/kelvo-widget on the scratch's shared directory at kWidgetNow, unless
// `args` name their own --shared-dir or --now.
inline constexpr const char* kWidgetNow = "2026-12-06T12:00:00Z";
ProgramRun runWidget(std::vector<std::string> args, const Scratch& scratch, const Launch& launch = {});

}  // namespace kelvo::testing
