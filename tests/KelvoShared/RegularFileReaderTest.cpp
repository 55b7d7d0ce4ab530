#include <gtest/gtest.h>

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
// car.png through this reader. Special files are rows of the store's tests.
TEST(RegularFileReader, MissingAndOversizedFilesFailToOpen) {
  const testing::TempDirectory temp;
  const fs::path file = temp.path() / "car.png";
  EXPECT_EQ(RegularFileReader::open(file, 1000).error().message,
            "cannot open car.png: No such file or directory");
  writeFile(file, std::string(1000, 'x'));
  EXPECT_TRUE(RegularFileReader::open(file, 1000).ok());  // exactly the limit
  writeFile(file, std::string(1001, 'x'));
  EXPECT_EQ(RegularFileReader::open(file, 1000).error().message, "car.png is larger than 1000 bytes");
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
