#include <gtest/gtest.h>

#include "KelvoWidget/ExifOrientation.h"
#include "TestPictures.h"

namespace kelvo::widget {
namespace {

using testing::tiffWithOrientation;

// Orientations 1-8 in both byte orders, with the "Exif" prefix of a JPEG's
// APP1 and without it: CarPictureOrientation turns every one of them upright.
TEST(ExifOrientation, MalformedBlocksAndValuesOutsideOneToEightGiveNothing) {
  const std::vector<std::uint8_t> good = tiffWithOrientation(3, false);
  // Every truncation of a valid block is rejected without reading past it.
  for (std::size_t length = 0; length < good.size() - 4; ++length)
    EXPECT_EQ(exifOrientation(std::span(good).first(length)), std::nullopt) << length;
  // clang-format off
  for (const auto& [bytes, expected] : std::vector<std::pair<std::vector<std::pair<std::size_t, std::uint8_t>>, std::optional<int>>>{
           {{{0, 'X'}}, std::nullopt} /* byte order */, {{{2, 43}}, std::nullopt} /* magic number */,
           {{{4, 0xF0}, {7, 0x7F}}, std::nullopt} /* IFD0 far beyond the block */, {{{8, 0xFF}, {9, 0xFF}}, 3} /* 65535 entries claimed: the tag comes first */,
           {{{8, 0xFF}, {9, 0xFF}, {22, 0}}, std::nullopt} /* ...and with it hidden the scan stops at the end */, {{{24, 4}}, std::nullopt} /* LONG, not SHORT */,
           {{{30, 0}}, std::nullopt}, {{{30, 9}}, std::nullopt} /* orientations are 1 to 8 */}) {
    // clang-format on
    std::vector<std::uint8_t> block = good;
    for (const auto& [at, value] : bytes) block[at] = value;
    EXPECT_EQ(exifOrientation(block), expected) << "byte " << bytes[0].first;
  }
}

}  // namespace
}  // namespace kelvo::widget
