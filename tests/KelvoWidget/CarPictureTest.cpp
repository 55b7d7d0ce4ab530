#include <gtest/gtest.h>

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
using testing::ExifPlace;
using testing::Interlace;
using testing::PngOptions;
using testing::TestImage;
using testing::tiffWithOrientation;

constexpr std::uint32_t kRed = 0xFF0000FF;
constexpr std::uint32_t kGreen = 0x00FF00FF;
constexpr std::uint32_t kBlue = 0x0000FFFF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

struct Argb {
  int a, r, g, b;
};

Argb pixelAt(const ui::Bitmap& bitmap, int x, int y) {
  const std::uint32_t p = (*bitmap.pixels)[static_cast<std::size_t>(y) * bitmap.width + x];
  return {static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
          static_cast<int>(p & 0xFF)};
}

// Opaque colour within `tolerance` per channel (JPEG is lossy).
void expectColour(const ui::Bitmap& bitmap, int x, int y, std::uint32_t rgba, int tolerance,
                  const char* where) {
  SCOPED_TRACE(std::string(where) + " at " + std::to_string(x) + "," + std::to_string(y));
  const Argb p = pixelAt(bitmap, x, y);
  EXPECT_NEAR(p.a, static_cast<int>(rgba & 0xFF), tolerance);
  EXPECT_NEAR(p.r, static_cast<int>(rgba >> 24), tolerance);
  EXPECT_NEAR(p.g, static_cast<int>((rgba >> 16) & 0xFF), tolerance);
  EXPECT_NEAR(p.b, static_cast<int>((rgba >> 8) & 0xFF), tolerance);
}

PngOptions adam7() {
  PngOptions options;
  options.interlace = Interlace::adam7;
  return options;
}

CarPictureLimits limitedTo(int maxPixelSize) {
  CarPictureLimits limits;
  limits.maxPixelSize = maxPixelSize;
  return limits;
}

// Left half red, right half blue.
TestImage halves(int width, int height) {
  TestImage image = TestImage::filled(width, height, kRed);
  image.fill(width / 2, 0, width, height, kBlue);
  return image;
}

// ---- size ----

TEST(CarPictureSize, LargePngAndJpegShrinkTo800By600) {
  const TestImage image = halves(4000, 3000);
  for (const auto& [name, bytes] :
       {std::pair<const char*, std::vector<std::uint8_t>>{"png", encodePng(image)},
        {"jpeg", encodeJpeg(image)}}) {
    SCOPED_TRACE(name);
    const Result<ui::Bitmap> picture = decodeCarPicture(bytes);
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    EXPECT_EQ(picture->width, 800);
    EXPECT_EQ(picture->height, 600);
    ASSERT_EQ(picture->pixels->size(), 800u * 600u);
    expectColour(*picture, 10, 10, kRed, 6, name);
    expectColour(*picture, 390, 590, kRed, 6, name);
    expectColour(*picture, 410, 300, kBlue, 6, name);
    expectColour(*picture, 799, 599, kBlue, 6, name);
  }
}

TEST(CarPictureSize, TallPictureKeepsItsAspect) {
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(TestImage::filled(1200, 3000, kGreen)));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  EXPECT_EQ(picture->width, 320);
  EXPECT_EQ(picture->height, 800);
  expectColour(*picture, 319, 799, kGreen, 0, "corner");
}

TEST(CarPictureSize, ExtremeAspectKeepsAtLeastOnePixel) {
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(TestImage::filled(4000, 2, kGreen)));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  EXPECT_EQ(picture->width, 800);
  EXPECT_EQ(picture->height, 1);
}

TEST(CarPictureSize, SmallerPictureIsKeptPixelForPixel) {
  TestImage image = TestImage::filled(300, 200, kWhite);
  image.set(0, 0, kRed);
  image.set(299, 199, 0x00FF0080);  // half-transparent green
  for (const auto& bytes : {encodePng(image), encodePng(image, adam7())}) {
    const Result<ui::Bitmap> picture = decodeCarPicture(bytes);
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    EXPECT_EQ(picture->width, 300);
    EXPECT_EQ(picture->height, 200);
    EXPECT_EQ((*picture->pixels)[0], 0xFFFF0000u);
    EXPECT_EQ((*picture->pixels)[1], 0xFFFFFFFFu);
    EXPECT_EQ(picture->pixels->back(), 0x80008000u) << "premultiplied: 50% green";
  }
}

TEST(CarPictureSize, ExactlyTheLimitIsKept) {
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(TestImage::filled(800, 450, kBlue)));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  EXPECT_EQ(picture->width, 800);
  EXPECT_EQ(picture->height, 450);
}

// ---- averaging ----

TEST(CarPictureAveraging, AveragesEveryPixelUnderADestinationPixel) {
  // One-pixel black and white stripes average to mid grey, not to either.
  TestImage image = TestImage::filled(40, 40, 0x000000FF);
  for (int x = 1; x < 40; x += 2) image.fill(x, 0, x + 1, 40, kWhite);
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(image), limitedTo(10));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->width, 10);
  for (int x = 0; x < 10; ++x) expectColour(*picture, x, 5, 0x808080FF, 1, "stripes");
}

TEST(CarPictureAveraging, NonIntegerRatioWeighsPartialCoverage) {
  // 3 source columns per 2 destination columns: the middle source column is
  // split evenly, so red|white|blue gives (red + white/2) / 1.5 and mirror.
  TestImage image = TestImage::filled(3, 3, kRed);
  image.fill(1, 0, 2, 3, kWhite);
  image.fill(2, 0, 3, 3, kBlue);
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(image), limitedTo(2));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->width, 2);
  ASSERT_EQ(picture->height, 2);
  expectColour(*picture, 0, 0, 0xFF5555FF, 1, "left");
  expectColour(*picture, 1, 1, 0x5555FFFF, 1, "right");
}

TEST(CarPictureAveraging, TransparentPixelsLeaveNoDarkFringe) {
  // Transparent black beside opaque white averages to half-covered white.
  TestImage image = TestImage::filled(20, 20, 0x00000000);
  for (int x = 1; x < 20; x += 2) image.fill(x, 0, x + 1, 20, kWhite);
  const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(image), limitedTo(10));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  const Argb p = pixelAt(*picture, 3, 3);
  EXPECT_NEAR(p.a, 128, 1);
  EXPECT_NEAR(p.r, 128, 1) << "premultiplied white at half coverage";
}

TEST(CarPictureAveraging, InterlacedAndPlainPngGiveTheSamePicture) {
  TestImage image = TestImage::filled(1001, 707, kWhite);
  for (int y = 0; y < 707; ++y)
    for (int x = 0; x < 1001; ++x)
      if ((x * 7 + y * 3) % 11 < 4) image.set(x, y, 0x10A040C0);
  const Result<ui::Bitmap> plain = decodeCarPicture(encodePng(image));
  const Result<ui::Bitmap> interlaced = decodeCarPicture(encodePng(image, adam7()));
  ASSERT_TRUE(plain.ok()) << plain.error().message;
  ASSERT_TRUE(interlaced.ok()) << interlaced.error().message;
  EXPECT_EQ(plain->width, 800);
  EXPECT_EQ(plain->height, 565);
  ASSERT_EQ(interlaced->width, plain->width);
  ASSERT_EQ(interlaced->height, plain->height);
  int differing = 0;
  for (std::size_t i = 0; i < plain->pixels->size(); ++i) {
    const std::uint32_t a = (*plain->pixels)[i];
    const std::uint32_t b = (*interlaced->pixels)[i];
    for (int shift = 0; shift < 32; shift += 8) {
      if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 1)
        ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
}

// ---- orientation ----

// The upright picture: 40 × 60, quadrants red | green over blue | white.
// Each row gives the stored quadrants (top-left, top-right, bottom-left,
// bottom-right) a camera writes for that EXIF orientation.
struct Stored {
  int orientation;
  std::array<std::uint32_t, 4> quadrants;
};
constexpr Stored kStored[] = {
    {1, {kRed, kGreen, kBlue, kWhite}}, {2, {kGreen, kRed, kWhite, kBlue}},
    {3, {kWhite, kBlue, kGreen, kRed}}, {4, {kBlue, kWhite, kRed, kGreen}},
    {5, {kRed, kBlue, kGreen, kWhite}}, {6, {kGreen, kWhite, kRed, kBlue}},
    {7, {kWhite, kGreen, kBlue, kRed}}, {8, {kBlue, kRed, kWhite, kGreen}},
};

TestImage storedPicture(const Stored& stored) {
  const bool turned = stored.orientation >= 5;
  const int w = turned ? 60 : 40;
  const int h = turned ? 40 : 60;
  TestImage image = TestImage::filled(w, h, 0);
  image.fill(0, 0, w / 2, h / 2, stored.quadrants[0]);
  image.fill(w / 2, 0, w, h / 2, stored.quadrants[1]);
  image.fill(0, h / 2, w / 2, h, stored.quadrants[2]);
  image.fill(w / 2, h / 2, w, h, stored.quadrants[3]);
  return image;
}

void expectUpright(const Result<ui::Bitmap>& picture, int tolerance) {
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->width, 40);
  ASSERT_EQ(picture->height, 60);
  expectColour(*picture, 5, 5, kRed, tolerance, "top left");
  expectColour(*picture, 34, 5, kGreen, tolerance, "top right");
  expectColour(*picture, 5, 54, kBlue, tolerance, "bottom left");
  expectColour(*picture, 34, 54, kWhite, tolerance, "bottom right");
}

TEST(CarPictureOrientation, PngExifTurnsEveryOrientationUpright) {
  for (const Stored& stored : kStored) {
    for (bool bigEndian : {false, true}) {
      for (ExifPlace place : {ExifPlace::beforeData, ExifPlace::afterData}) {
        SCOPED_TRACE("orientation " + std::to_string(stored.orientation) + (bigEndian ? " MM" : " II") +
                     (place == ExifPlace::afterData ? " after IDAT" : " before IDAT"));
        PngOptions options;
        options.exif = tiffWithOrientation(stored.orientation, bigEndian);
        options.exifPlace = place;
        expectUpright(decodeCarPicture(encodePng(storedPicture(stored), options)), 0);
      }
    }
  }
}

TEST(CarPictureOrientation, JpegExifTurnsEveryOrientationUpright) {
  for (const Stored& stored : kStored) {
    SCOPED_TRACE("orientation " + std::to_string(stored.orientation));
    expectUpright(decodeCarPicture(encodeJpeg(storedPicture(stored), stored.orientation)), 24);
  }
}

TEST(CarPictureOrientation, LargeRotatedJpegIsUprightAndBounded) {
  // Stored landscape, camera held upright: orientation 6.
  TestImage stored = TestImage::filled(4000, 3000, kGreen);
  stored.fill(0, 0, 4000, 1500, kBlue);  // becomes the right half
  const Result<ui::Bitmap> picture = decodeCarPicture(encodeJpeg(stored, 6));
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  EXPECT_EQ(picture->width, 600);
  EXPECT_EQ(picture->height, 800);
  expectColour(*picture, 100, 400, kGreen, 8, "left");
  expectColour(*picture, 500, 400, kBlue, 8, "right");
}

TEST(CarPictureOrientation, PngWithoutExifStaysAsStored) {
  expectUpright(decodeCarPicture(encodePng(storedPicture(kStored[0]))), 0);
}

// ---- failures ----

TEST(CarPictureFailure, EmptyAndGarbageBytesGiveNoPicture) {
  EXPECT_FALSE(decodeCarPicture({}).ok());
  const std::vector<std::uint8_t> garbage(4096, 0x5A);
  EXPECT_FALSE(decodeCarPicture(garbage).ok());
  const std::string text = "not a picture at all";
  EXPECT_FALSE(decodeCarPicture({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}).ok());
}

TEST(CarPictureFailure, TruncatedPngGivesNoPicture) {
  std::vector<std::uint8_t> png = encodePng(halves(400, 300));
  png.resize(png.size() / 2);
  EXPECT_FALSE(decodeCarPicture(png).ok());
  const std::vector<std::uint8_t> signatureOnly(png.begin(), png.begin() + 8);
  EXPECT_FALSE(decodeCarPicture(signatureOnly).ok());
}

TEST(CarPictureFailure, CorruptPngDataGivesNoPicture) {
  std::vector<std::uint8_t> png = encodePng(halves(400, 300));
  for (std::size_t i = 100; i < 200; ++i) png[i] ^= 0xA5;  // inside the first IDAT
  EXPECT_FALSE(decodeCarPicture(png).ok());
}

TEST(CarPictureFailure, VectorDocumentsAreRefused) {
  const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)";
  EXPECT_FALSE(decodeCarPicture({reinterpret_cast<const std::uint8_t*>(svg.data()), svg.size()}).ok());
}

// ---- refusing oversized pictures ----

using Clock = std::chrono::steady_clock;

void expectRefusedQuickly(const std::vector<std::uint8_t>& bytes, const char* what) {
  SCOPED_TRACE(what);
  const auto start = Clock::now();
  const Result<ui::Bitmap> picture = decodeCarPicture(bytes);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  ASSERT_FALSE(picture.ok());
  EXPECT_NE(picture.error().message.find("declares"), std::string::npos) << picture.error().message;
  EXPECT_LT(elapsed.count(), 250);
}

std::vector<std::uint8_t> jpegDeclaring(std::uint16_t width, std::uint16_t height) {
  std::vector<std::uint8_t> jpeg = encodeJpeg(TestImage::filled(16, 16, kRed));
  // Baseline start-of-frame: FF C0, length, precision, height, width.
  for (std::size_t i = 2; i + 9 <= jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no start-of-frame in the test JPEG";
  return jpeg;
}

std::vector<std::uint8_t> bmpDeclaring(std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> bmp = {'B', 'M'};
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) bmp.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put(54 + 64, 4);  // file size
  put(0, 4);
  put(54, 4);  // pixel data offset
  put(40, 4);  // BITMAPINFOHEADER
  put(static_cast<std::uint32_t>(width), 4);
  put(static_cast<std::uint32_t>(height), 4);
  put(1, 2);   // planes
  put(24, 2);  // bits per pixel
  put(0, 4);   // no compression
  put(0, 4);
  put(2835, 4);
  put(2835, 4);
  put(0, 4);
  put(0, 4);
  bmp.resize(bmp.size() + 64, 0x7F);
  return bmp;
}

TEST(CarPictureLimitsTest, PicturesDeclaringMoreThan50MegapixelsAreRefusedBeforeDecoding) {
  expectRefusedQuickly(testing::pngHeaderOnly(20000, 20000), "PNG 400 MP");
  expectRefusedQuickly(testing::pngHeaderOnly(7072, 7072), "PNG just over 50 MP");
  expectRefusedQuickly(testing::pngHeaderOnly(70000, 10), "PNG side over 65535");
  expectRefusedQuickly(jpegDeclaring(60000, 60000), "JPEG 3.6 GP");
  expectRefusedQuickly(bmpDeclaring(20000, 20000), "BMP 400 MP");
}

TEST(CarPictureLimitsTest, FiftyMegapixelsThemselvesAreAllowed) {
  // 7071 × 7071 < 50 MP: not refused; this header-only file then fails as
  // truncated, which is a decoding failure, not a refusal.
  const Result<ui::Bitmap> picture = decodeCarPicture(testing::pngHeaderOnly(7071, 7071));
  ASSERT_FALSE(picture.ok());
  EXPECT_EQ(picture.error().message.find("declares"), std::string::npos) << picture.error().message;
}

}  // namespace
}  // namespace kelvo::widget
