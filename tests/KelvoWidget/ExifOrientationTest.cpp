#include <gtest/gtest.h>

#include "KelvoWidget/ExifOrientation.h"
#include "TestPictures.h"

namespace kelvo::widget {
namespace {

using testing::tiffWithOrientation;

TEST(ExifOrientation, ReadsTheTagInEitherByteOrder) {
  for (int value = 1; value <= 8; ++value) {
    EXPECT_EQ(exifOrientation(tiffWithOrientation(value, false)), value);
    EXPECT_EQ(exifOrientation(tiffWithOrientation(value, true)), value);
  }
}

TEST(ExifOrientation, ToleratesTheExifPrefix) {
  std::vector<std::uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  const std::vector<std::uint8_t> tiff = tiffWithOrientation(6, true);
  block.insert(block.end(), tiff.begin(), tiff.end());
  EXPECT_EQ(exifOrientation(block), 6);
}

TEST(ExifOrientation, OutOfRangeValuesAreIgnored) {
  EXPECT_EQ(exifOrientation(tiffWithOrientation(0, false)), std::nullopt);
  EXPECT_EQ(exifOrientation(tiffWithOrientation(9, false)), std::nullopt);
}

TEST(ExifOrientation, MalformedBlocksGiveNothing) {
  const std::vector<std::uint8_t> good = tiffWithOrientation(3, false);
  // Every truncation of a valid block is rejected without reading past it.
  for (std::size_t length = 0; length < good.size() - 4; ++length) {
    EXPECT_EQ(exifOrientation(std::span(good).first(length)), std::nullopt) << length;
  }

  std::vector<std::uint8_t> badOrder = good;
  badOrder[0] = 'X';
  EXPECT_EQ(exifOrientation(badOrder), std::nullopt);

  std::vector<std::uint8_t> badMagic = good;
  badMagic[2] = 43;
  EXPECT_EQ(exifOrientation(badMagic), std::nullopt);

  std::vector<std::uint8_t> farOffset = good;
  farOffset[4] = 0xF0;
  farOffset[7] = 0x7F;  // IFD0 far beyond the block
  EXPECT_EQ(exifOrientation(farOffset), std::nullopt);

  std::vector<std::uint8_t> hugeCount = good;
  hugeCount[8] = 0xFF;
  hugeCount[9] = 0xFF;  // 65535 entries claimed, two present; the tag is found first
  EXPECT_EQ(exifOrientation(hugeCount), 3);
  hugeCount[8 + 2 + 12] = 0x00;  // hide the orientation entry: the scan must stop at the end
  EXPECT_EQ(exifOrientation(hugeCount), std::nullopt);

  std::vector<std::uint8_t> wrongType = good;
  wrongType[8 + 2 + 12 + 2] = 4;  // LONG instead of SHORT
  EXPECT_EQ(exifOrientation(wrongType), std::nullopt);
}

}  // namespace
}  // namespace kelvo::widget
