#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <string>

#include "KelvoWidget/CarPicture.h"
#include "TestPictures.h"

namespace kelvo::widget {
namespace {

using testing::encodeJpeg;
using testing::encodePng;
using testing::TestImage;
using Bytes = std::vector<std::uint8_t>;

// Straight RGBA, as the test pictures are written.
constexpr std::uint32_t kRed = 0xFF0000FF;
constexpr std::uint32_t kGreen = 0x00FF00FF;
constexpr std::uint32_t kBlue = 0x0000FFFF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

// Each channel of the thumbnail's premultiplied ARGB pixel within `tolerance`
// of `argb` (JPEG is lossy).
void expectPixel(const ui::Bitmap& bitmap, int x, int y, std::uint32_t argb, int tolerance) {
  const std::uint32_t p = (*bitmap.pixels)[static_cast<std::size_t>(y) * bitmap.width + x];
  for (int shift = 0; shift < 32; shift += 8)
    EXPECT_NEAR(static_cast<int>(p >> shift & 0xFF), static_cast<int>(argb >> shift & 0xFF), tolerance)
        << "at " << x << "," << y << ", bits " << shift;
}

constexpr std::uint32_t opaque(std::uint32_t rgba) { return rgba << 24 | rgba >> 8; }

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Top-left, top-right, bottom-left, bottom-right.
using Quadrants = std::array<std::uint32_t, 4>;
constexpr Quadrants kUpright = {kRed, kGreen, kBlue, kWhite};

TestImage quadrants(int width, int height, const Quadrants& q) {
  TestImage image = TestImage::filled(width, height, q[3]);
  image.fill(0, 0, width / 2, height / 2, q[0]);
  image.fill(width / 2, 0, width, height / 2, q[1]);
  image.fill(0, height / 2, width / 2, height, q[2]);
  return image;
}

void expectUpright(const Result<ui::Bitmap>& picture, int width, int height, int tolerance) {
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->width, width);
  ASSERT_EQ(picture->height, height);
  const int left = width / 8, right = width - 1 - width / 8, top = height / 8,
            bottom = height - 1 - height / 8;
  expectPixel(*picture, left, top, opaque(kRed), tolerance);
  expectPixel(*picture, right, top, opaque(kGreen), tolerance);
  expectPixel(*picture, left, bottom, opaque(kBlue), tolerance);
  expectPixel(*picture, right, bottom, opaque(kWhite), tolerance);
}

// The quadrants a camera stores for each EXIF orientation of kUpright.
struct Stored {
  int orientation;
  Quadrants quadrants;
};
constexpr Stored kStored[] = {
    {1, {kRed, kGreen, kBlue, kWhite}}, {2, {kGreen, kRed, kWhite, kBlue}},
    {3, {kWhite, kBlue, kGreen, kRed}}, {4, {kBlue, kWhite, kRed, kGreen}},
    {5, {kRed, kBlue, kGreen, kWhite}}, {6, {kGreen, kWhite, kRed, kBlue}},
    {7, {kWhite, kGreen, kBlue, kRed}}, {8, {kBlue, kRed, kWhite, kGreen}},
};

// Upright 40 × 60; orientations 5–8 store it turned, 60 × 40.
TestImage storedPicture(const Stored& stored) {
  return stored.orientation >= 5 ? quadrants(60, 40, stored.quadrants) : quadrants(40, 60, stored.quadrants);
}

TEST(CarPictureSize, LargePicturesShrinkUprightToTheLimit) {
  const TestImage landscape = quadrants(4000, 3000, kUpright);
  expectUpright(decodeCarPicture(encodePng(landscape)), 800, 600, 0);
  expectUpright(decodeCarPicture(encodeJpeg(landscape)), 800, 600, 8);
  // Stored landscape with the camera held upright: the limit applies upright.
  expectUpright(decodeCarPicture(encodeJpeg(quadrants(4000, 3000, kStored[5].quadrants), 6)), 600, 800, 8);
}

TEST(CarPictureSize, AspectIsKeptAndSmallerPicturesArePixelForPixel) {
  struct Case {
    int width, height, thumbWidth, thumbHeight;
  };
  for (const Case& c : {Case{1200, 3000, 320, 800}, Case{4000, 2, 800, 1}, Case{800, 450, 800, 450},
                        Case{300, 200, 300, 200}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    TestImage image = TestImage::filled(c.width, c.height, kWhite);
    image.fill(0, 0, 1, 1, kRed);
    image.fill(c.width - 1, c.height - 1, c.width, c.height, 0x00FF0080);  // half-transparent green
    const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(image));
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    EXPECT_EQ(picture->width, c.thumbWidth);
    EXPECT_EQ(picture->height, c.thumbHeight);
    if (c.width == c.thumbWidth) {
      EXPECT_EQ((*picture->pixels)[0], 0xFFFF0000u);
      EXPECT_EQ((*picture->pixels)[1], 0xFFFFFFFFu);
      EXPECT_EQ(picture->pixels->back(), 0x80008000u) << "premultiplied: 50% green";
    }
  }
}

TEST(CarPictureAveraging, EveryCoveredPixelCountsInPremultipliedColour) {
  // White one-pixel stripes on opaque black average to grey, not to either
  // stripe; on transparent black, to half-covered white without a dark fringe.
  for (const auto& [background, mean] :
       {std::pair{0x000000FFu, 0xFF808080u}, std::pair{0x00000000u, 0x80808080u}}) {
    TestImage image = TestImage::filled(40, 40, background);
    for (int x = 1; x < 40; x += 2) image.fill(x, 0, x + 1, 40, kWhite);
    const Result<ui::Bitmap> picture =
        decodeCarPicture(encodePng(image), CarPictureLimits{.maxPixelSize = 10});
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    ASSERT_EQ(picture->width, 10);
    for (int x = 0; x < 10; ++x) expectPixel(*picture, x, 5, mean, 1);
  }
  // 3 source columns per 2 destination columns split the middle one evenly:
  // red|white|blue gives (red + white/2) / 1.5 and its mirror.
  TestImage image = TestImage::filled(3, 3, kRed);
  image.fill(1, 0, 2, 3, kWhite);
  image.fill(2, 0, 3, 3, kBlue);
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(image), CarPictureLimits{.maxPixelSize = 2});
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->height, 2);
  expectPixel(*picture, 0, 0, 0xFFFF5555, 1);
  expectPixel(*picture, 1, 1, 0xFF5555FF, 1);
}

TEST(CarPictureAveraging, InterlacedAndPlainPngGiveTheSamePicture) {
  TestImage image = TestImage::filled(1001, 707, kWhite);
  for (int y = 0; y < 707; ++y)
    for (int x = 0; x < 1001; ++x)
      if ((x * 7 + y * 3) % 11 < 4) image.fill(x, y, x + 1, y + 1, 0x10A040C0);
  testing::PngOptions adam7;
  adam7.interlace = testing::Interlace::adam7;
  for (int limit : {800, 1001}) {  // shrunk, and kept as it is
    const Result<ui::Bitmap> plain =
        decodeCarPicture(encodePng(image), CarPictureLimits{.maxPixelSize = limit});
    const Result<ui::Bitmap> interlaced =
        decodeCarPicture(encodePng(image, adam7), CarPictureLimits{.maxPixelSize = limit});
    ASSERT_TRUE(plain.ok() && interlaced.ok());
    ASSERT_EQ(interlaced->width, plain->width);
    ASSERT_EQ(interlaced->height, plain->height);
    int differing = 0;
    for (std::size_t i = 0; i < plain->pixels->size(); ++i)
      for (int shift = 0; shift < 32; shift += 8)
        differing += std::abs(static_cast<int>(((*plain->pixels)[i] >> shift) & 0xFF) -
                              static_cast<int>(((*interlaced->pixels)[i] >> shift) & 0xFF)) > 1;
    EXPECT_EQ(differing, 0) << "limit " << limit;
  }
}

TEST(CarPictureOrientation, PngAndJpegExifTurnEveryOrientationUpright) {
  for (const Stored& stored : kStored) {
    SCOPED_TRACE(stored.orientation);
    // Little-endian eXIf before the image data, big-endian after it.
    for (testing::ExifPlace place : {testing::ExifPlace::beforeData, testing::ExifPlace::afterData}) {
      testing::PngOptions options;
      options.exif = testing::tiffWithOrientation(stored.orientation, place == testing::ExifPlace::afterData);
      options.exifPlace = place;
      expectUpright(decodeCarPicture(encodePng(storedPicture(stored), options)), 40, 60, 0);
    }
    expectUpright(decodeCarPicture(encodeJpeg(storedPicture(stored), stored.orientation)), 40, 60, 24);
  }
}

TEST(CarPictureFailure, DamagedOrForeignBytesGiveNoPicture) {
  const Bytes png = encodePng(quadrants(400, 300, kUpright));
  Bytes corrupt = png;
  for (std::size_t i = 100; i < 200; ++i) corrupt[i] ^= 0xA5;  // inside the first IDAT
  const Bytes cases[] = {{},
                         Bytes(4096, 0x5A),
                         bytesOf("not a picture at all"),
                         bytesOf(R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)"),
                         Bytes(png.begin(), png.begin() + 8),
                         Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
                         corrupt};
  for (const Bytes& bytes : cases) EXPECT_FALSE(decodeCarPicture(bytes).ok()) << bytes.size() << " bytes";
}

Bytes jpegDeclaring(std::uint16_t width, std::uint16_t height) {
  Bytes jpeg = encodeJpeg(TestImage::filled(16, 16, kRed));
  // Baseline start-of-frame: FF C0, length, precision, height, width.
  const Bytes sof = {0xFF, 0xC0};
  const auto at = std::search(jpeg.begin(), jpeg.end(), sof.begin(), sof.end()) - jpeg.begin();
  if (at + 9 <= static_cast<std::ptrdiff_t>(jpeg.size())) {
    const std::uint8_t size[] = {std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8),
                                 std::uint8_t(width)};
    std::copy(std::begin(size), std::end(size), jpeg.begin() + at + 5);
  }
  return jpeg;
}

TEST(CarPictureLimitsTest, PicturesDeclaringMoreThan50MegapixelsAreRefusedBeforeDecoding) {
  const std::pair<const char*, Bytes> bombs[] = {{"PNG 400 MP", testing::pngHeaderOnly(20000, 20000)},
                                                 {"PNG just over 50 MP", testing::pngHeaderOnly(7072, 7072)},
                                                 {"PNG side over 65535", testing::pngHeaderOnly(70000, 10)},
                                                 {"JPEG 3.6 GP", jpegDeclaring(60000, 60000)}};
  for (const auto& [what, bytes] : bombs) {
    const auto start = std::chrono::steady_clock::now();
    const Result<ui::Bitmap> picture = decodeCarPicture(bytes);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250)) << what;
    ASSERT_FALSE(picture.ok()) << what;
    EXPECT_NE(picture.error().message.find("declares"), std::string::npos)
        << what << ": " << picture.error().message;
  }
  // 7071 × 7071 is under 50 MP: not refused, so this header-only file fails
  // as truncated instead.
  const Result<ui::Bitmap> picture = decodeCarPicture(testing::pngHeaderOnly(7071, 7071));
  ASSERT_FALSE(picture.ok());
  EXPECT_EQ(picture.error().message.find("declares"), std::string::npos) << picture.error().message;
}

}  // namespace
}  // namespace kelvo::widget
