#pragma once

// Runs the built programs the way a user does: a separate process, its own
// temporary home and shared directory, output captured from files.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::testing {

// A temporary directory with a "shared" folder in it, removed afterwards.
class Scratch {
 public:
  Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch();

  std::filesystem::path root() const { return root_; }
  std::filesystem::path shared() const { return root_ / "shared"; }
  // Writes `bytes` as shared()/name.
  void write(const std::string& name, std::string_view bytes) const;

 private:
  std::filesystem::path root_;
};

std::string readFile(const std::filesystem::path& file);

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
};

// As root: hands `path` to nobody:nogroup and lets everyone through the
// scratch root, so an unprivileged launch meets `path`'s mode bits as the
// owner. Otherwise `path` is already the runner's own.
void makeUnprivilegedOwner(const Scratch& scratch, const std::filesystem::path& path);

// Starts bin/<program> (no shell) in the C.UTF-8 locale with HOME in the
// scratch directory; stdout and stderr go to files in it.
Started start(const std::string& program, const std::vector<std::string>& args, const Scratch& scratch,
              const Launch& launch);
Started start(const std::string& program, const std::vector<std::string>& args, const Scratch& scratch,
              const std::vector<std::string>& extraEnvironment = {});
// Waits for a started program to end.
ProgramRun finish(const Started& started);
// start + finish.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const Scratch& scratch, const std::vector<std::string>& extraEnvironment = {});
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const Scratch& scratch, const Launch& launch);

}  // namespace kelvo::testing
