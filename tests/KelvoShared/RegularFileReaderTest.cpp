#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "KelvoShared/RegularFileReader.h"
#include "KelvoShared/SharedStore.h"
#include "TempDirectory.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;
using testing::TempDirectory;
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

TEST(RegularFileReader, ReadsTheWholeFileInPieces) {
  TempDirectory temp;
  std::string content(200'001, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 % 251);
  for (const auto& [size, piece] : {std::pair{content.size(), 7000}, std::pair{std::size_t{0}, 16},
                                    std::pair{std::size_t{1}, 1}, std::pair{content.size(), 1 << 20}}) {
    writeFile(temp.path() / "car.png", content.substr(0, size));
    auto reader = RegularFileReader::open(temp.path() / "car.png", content.size());
    ASSERT_TRUE(reader.ok()) << reader.error().message;
    const Result<std::string> all = readAll(*reader.value(), piece);
    ASSERT_TRUE(all.ok()) << all.error().message;
    EXPECT_EQ(*all, content.substr(0, size)) << size << " bytes in pieces of " << piece;
  }
}

TEST(RegularFileReader, SpecialMissingAndOversizedFilesFailToOpen) {
  TempDirectory temp;
  const fs::path file = temp.path() / "car.png";
  const auto openError = [&] {
    auto reader = RegularFileReader::open(file, 1000);
    return reader.ok() ? std::string("opened") : reader.error().message;
  };
  EXPECT_EQ(openError(), "cannot open car.png: No such file or directory");
  fs::create_directory(file);
  EXPECT_EQ(openError(), "car.png is not a regular file");
  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);  // must not block
  EXPECT_EQ(openError(), "car.png is not a regular file");
  fs::remove(file);
  fs::create_symlink("/dev/zero", file);
  EXPECT_EQ(openError(), "car.png is not a regular file");
  fs::remove(file);
  writeFile(file, std::string(1000, 'x'));  // exactly the limit
  EXPECT_EQ(openError(), "opened");
  writeFile(file, std::string(1001, 'x'));
  EXPECT_EQ(openError(), "car.png is larger than 1000 bytes");
}

TEST(RegularFileReader, AFileGrownPastTheLimitAfterOpeningFailsWhileReading) {
  TempDirectory temp;
  const fs::path file = temp.path() / "car.png";
  writeFile(file, std::string(1000, 'x'));
  auto reader = RegularFileReader::open(file, 1 << 20);
  ASSERT_TRUE(reader.ok());
  fs::resize_file(file, 3 << 20);
  const Result<std::string> all = readAll(*reader.value(), 64 << 10);
  ASSERT_FALSE(all.ok());
  EXPECT_EQ(all.error().message, "car.png is larger than 1 MiB");
}

TEST(SharedStoreOpenImage, OpensCarPngOnlyWhenThereIsOne) {
  TempDirectory temp;
  const SharedStore store{Platform::withSharedDirectory(temp.path())};
  EXPECT_EQ(store.openImage(), nullptr);
  writeFile(temp.path() / "car.png", "picture bytes");
  std::unique_ptr<RegularFileReader> reader = store.openImage();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(*readAll(*reader, 5), "picture bytes");
  const SharedStore nowhere{Platform::withSharedDirectory(temp.path() / "missing")};
  EXPECT_EQ(nowhere.openImage(), nullptr);
}

}  // namespace
}  // namespace kelvo
