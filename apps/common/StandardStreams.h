#pragma once

// What both programs do with their process before and after the command:
// standard streams that are closed stay reserved, a file size limit is an
// ordinary write failure, and lost output is a failure.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "ExitCodes.h"

namespace kelvo::apps {

// Call first in main().
//
// A closed standard stream gets a placeholder that fails every read and
// write (a path descriptor of "/"), so no file the program opens later can
// take its number and receive its output, and output to a closed stdout
// still fails as it should.
//
// SIGXFSZ is ignored: past a file size limit (ulimit -f) write() then fails
// with EFBIG, which the writers report after removing their temporary file,
// instead of the process dying mid-write.
inline void prepareProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int placeholder = ::open("/", O_PATH | O_DIRECTORY);
      if (placeholder != fd && placeholder >= 0) ::close(placeholder);
    }
  }
  ::signal(SIGXFSZ, SIG_IGN);
}

// Call last in main(): flushes and closes standard output. Output that did
// not arrive (a full disk, a closed stdout) turns `status` into a failure
// with one line on stderr.
inline int finishStandardOutput(std::string_view program, int status) {
  errno = 0;
  std::cout.flush();
  bool failed = !std::cout;
  int error = errno;
  if (std::fflush(stdout) != 0) failed = true, error = errno;
  failed = failed || std::ferror(stdout);
  if (std::fclose(stdout) != 0 && !failed) failed = true, error = errno;
  if (!failed) return status;
  std::cerr << program << ": cannot write to standard output"
            << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
  return kExitFailure;
}

}  // namespace kelvo::apps
