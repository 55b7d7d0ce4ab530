#include <gtest/gtest.h>
#include <sys/stat.h>

#include "KelvoShared/RegularFileReader.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::writeFile;

// Everything the reader hands out, `piece` bytes at a time; the error if any.
Result<std::string> readAll(RegularFileReader& reader, std::size_t piece) {
  std::string all;
  std::vector<std::uint8_t> buffer(piece);
  for (;;) {
    Result<std::size_t> n = reader.read(buffer.data(), buffer.size());
    if (!n) return n.error();
    if (*n == 0) return all;
    all.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*n));
  }
}

// Reading whole files in pieces needs no case here: CarProvider decodes every
// car.png through this reader.
TEST(RegularFileReader, SpecialMissingAndOversizedFilesFailToOpen) {
  const testing::TempDirectory temp;
  const fs::path file = temp.path() / "car.png";
  // clang-format off
  for (const auto& [kind, expected] : std::vector<std::pair<std::string, std::string>>{
           {"missing", "cannot open car.png: No such file or directory"}, {"directory", "car.png is not a regular file"},
           {"fifo", "car.png is not a regular file"} /* must not block */, {"/dev/zero", "car.png is not a regular file"},
           {"1000 bytes", "opened"} /* exactly the limit */, {"1001 bytes", "car.png is larger than 1000 bytes"}}) {
    // clang-format on
    fs::remove(file);
    if (kind == "directory") fs::create_directory(file);
    if (kind == "fifo") ::mkfifo(file.c_str(), 0600);
    if (kind == "/dev/zero") fs::create_symlink(kind, file);
    if (kind.ends_with("bytes")) writeFile(file, std::string(std::stoul(kind), 'x'));
    auto reader = RegularFileReader::open(file, 1000);
    EXPECT_EQ(reader.ok() ? std::string("opened") : reader.error().message, expected) << kind;
  }
}

TEST(RegularFileReader, AFileGrownPastTheLimitAfterOpeningFailsWhileReading) {
  const testing::TempDirectory temp;
  const fs::path file = temp.path() / "car.png";
  writeFile(file, std::string(1000, 'x'));
  auto reader = RegularFileReader::open(file, 1 << 20);
  ASSERT_TRUE(reader.ok());
  fs::resize_file(file, 3 << 20);
  const Result<std::string> all = readAll(*reader.value(), 64 << 10);
  EXPECT_EQ(all ? "(read)" : all.error().message, "car.png is larger than 1 MiB");
}

}  // namespace
}  // namespace kelvo
