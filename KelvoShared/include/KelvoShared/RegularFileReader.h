#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "KelvoBase/Result.h"

namespace kelvo {

// Reads a regular file of at most `limit` bytes front to back, piece by
// piece, so a large file never has to be in memory whole. Opening checks the
// file as readRegularFile does (no blocking, regular files only, size).
class RegularFileReader {
 public:
  // What tells the file apart from another file or from an earlier version
  // of itself (an atomic replace makes a new inode; an edit in place a new
  // change time), as fstat saw it on opening.
  struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;                 // in bytes
    std::int64_t modifiedNanoseconds = 0;  // since 1970
    std::int64_t changedNanoseconds = 0;   // since 1970
    bool operator==(const Identity&) const = default;
  };

  static Result<std::unique_ptr<RegularFileReader>> open(const std::filesystem::path& file,
                                                         std::size_t limit);
  RegularFileReader(const RegularFileReader&) = delete;
  RegularFileReader& operator=(const RegularFileReader&) = delete;
  ~RegularFileReader();

  // Up to `size` bytes into `buffer`; 0 at the end of the file. A file that
  // has grown past the limit since it was opened is an error.
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t size);
  const Identity& identity() const { return identity_; }

 private:
  RegularFileReader(int fd, std::size_t limit, std::string name);

  int fd_;
  std::size_t limit_;     // bytes the file may have
  std::size_t used_ = 0;  // bytes read so far
  std::string name_;      // the file's name, for messages
  Identity identity_;
};

}  // namespace kelvo
