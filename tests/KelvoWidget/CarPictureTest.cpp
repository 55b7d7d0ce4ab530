#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

constexpr std::uint32_t kRed = 0xFF0000FF;  // straight RGBA, as the test pictures are written
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

// Each quadrant of the thumbnail is `expected` (kUpright by default).
void expectUpright(const Result<ui::Bitmap>& picture, int width, int height, int tolerance,
                   const Quadrants& expected = kUpright) {
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->width, width);
  ASSERT_EQ(picture->height, height);
  const int xs[] = {width / 8, width - 1 - width / 8}, ys[] = {height / 8, height - 1 - height / 8};
  for (int i = 0; i < 4; ++i) expectPixel(*picture, xs[i % 2], ys[i / 2], opaque(expected[i]), tolerance);
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

TEST(CarPictureSize, PicturesShrinkUprightToTheLimitInEveryFormat) {
  using testing::JpegColour;
  using testing::JpegOptions;
  const TestImage landscape = quadrants(4000, 3000, kUpright),
                  turned = quadrants(4000, 3000, kStored[5].quadrants);
  const TestImage small = quadrants(400, 300, kUpright);
  const Quadrants grey = {0x4C4C4CFF, 0x969696FF, 0x1D1D1DFF, kWhite};  // luma as libjpeg weighs it
  const struct {
    const char* what;
    Bytes bytes;
    int width, height, tolerance;
    Quadrants expected;
  } cases[] = {
      // clang-format off
      {"PNG", encodePng(landscape), 800, 600, 0, kUpright}, {"JPEG", encodeJpeg(landscape), 800, 600, 8, kUpright},
      {"JPEG turned by EXIF", encodeJpeg(turned, {.orientation = 6}), 600, 800, 8, kUpright},
      {"progressive 12 MP, turned", encodeJpeg(turned, JpegOptions{JpegColour::rgb, true, 6}), 600, 800, 10, kUpright},
      {"grey", encodeJpeg(small, JpegOptions{JpegColour::grey, false, {}}), 400, 300, 10, grey},
      {"CMYK", encodeJpeg(small, JpegOptions{JpegColour::cmyk, false, {}}), 400, 300, 10, kUpright},
      {"CMYK progressive", encodeJpeg(small, JpegOptions{JpegColour::cmyk, true, {}}), 400, 300, 10, kUpright},
      {"50 scans", testing::repeatScan(encodeJpeg(small, JpegOptions{JpegColour::rgb, true, {}}), 50), 400, 300, 10, kUpright},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    expectUpright(decodeCarPicture(c.bytes), c.width, c.height, c.tolerance, c.expected);
  }
  // A baseline frame needs no coefficient buffer: 7000² decodes within the memory budget.
  EXPECT_TRUE(decodeCarPicture(testing::jpegSkeleton(0xC0, 7000, 1, 1, 64)).ok());
}

TEST(CarPictureSize, AspectIsKeptAndSmallerPicturesArePixelForPixel) {
  // Width, height, thumbnail width and height.
  for (const auto& [width, height, thumbWidth, thumbHeight] :
       {std::array{1200, 3000, 320, 800}, {4000, 2, 800, 1}, {800, 450, 800, 450}, {300, 200, 300, 200}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    TestImage image = TestImage::filled(width, height, kWhite);
    image.fill(0, 0, 1, 1, kRed);
    image.fill(width - 1, height - 1, width, height, 0x00FF0080);  // half-transparent green
    const Result<ui::Bitmap> picture = decodeCarPicture(encodePng(image));
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    EXPECT_EQ(std::pair(picture->width, picture->height), std::pair(thumbWidth, thumbHeight));
    const auto& p = *picture->pixels;
    const std::array kept = {0xFFFF0000u, 0xFFFFFFFFu, 0x80008000u};  // premultiplied: 50% green
    EXPECT_EQ((width == thumbWidth ? std::array{p[0], p[1], p.back()} : kept), kept);
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

// The same picture as 8-bit RGBA (decoded on two threads), as 16 bits per
// sample and interlaced (both through libspng): identical thumbnails, and
// interlaced within rounding, whether shrunk or kept.
TEST(CarPictureAveraging, EveryPngLayoutGivesTheSamePicture) {
  TestImage image = TestImage::filled(1001, 707, kWhite);
  for (int y = 0; y < 707; ++y)
    for (int x = 0; x < 1001; ++x)
      if ((x * 7 + y * 3) % 11 < 4)
        image.fill(x, y, x + 1, y + 1, 0x10A040C0 + static_cast<std::uint32_t>(x % 5));
  const auto decoded = [&](const testing::PngOptions& options, int limit) {
    return decodeCarPicture(encodePng(image, options), CarPictureLimits{.maxPixelSize = limit});
  };
  for (int limit : {800, 1001}) {
    const Result<ui::Bitmap> plain = decoded(testing::PngOptions{}, limit);
    const Result<ui::Bitmap> wide = decoded(testing::PngOptions{.sixteenBit = true}, limit);
    const Result<ui::Bitmap> interlaced =
        decoded(testing::PngOptions{.interlace = testing::Interlace::adam7}, limit);
    ASSERT_TRUE(plain.ok() && wide.ok() && interlaced.ok());
    EXPECT_TRUE(*plain->pixels == *wide->pixels) << "limit " << limit;
    ASSERT_EQ(interlaced->pixels->size(), plain->pixels->size());
    const auto* a = reinterpret_cast<const std::uint8_t*>(plain->pixels->data());
    const auto* b = reinterpret_cast<const std::uint8_t*>(interlaced->pixels->data());
    int differing = 0;
    for (std::size_t i = 0; i < plain->pixels->size() * 4; ++i) differing += std::abs(a[i] - b[i]) > 1;
    EXPECT_EQ(differing, 0) << "limit " << limit;
  }
  // An RGB picture's colour key (tRNS) makes its white quadrant transparent, in 8 and 16 bits alike.
  const Result<ui::Bitmap> keyed = decoded(testing::PngOptions{.colourKey = 0xFFFFFF}, 1001);
  const Result<ui::Bitmap> wideKeyed =
      decoded(testing::PngOptions{.sixteenBit = true, .colourKey = 0xFFFFFF}, 1001);
  ASSERT_TRUE(keyed.ok() && wideKeyed.ok());
  EXPECT_TRUE(*keyed->pixels == *wideKeyed->pixels);
  EXPECT_EQ((*keyed->pixels)[0] >> 24, 0xFFu);  // the pattern, opaque without its alpha
  EXPECT_EQ(keyed->pixels->back(), 0u);
}

TEST(CarPictureOrientation, PngAndJpegExifTurnEveryOrientationUpright) {
  for (const Stored& stored : kStored) {
    SCOPED_TRACE(stored.orientation);
    // Little-endian eXIf before the image data, big-endian after it.
    for (testing::ExifPlace place : {testing::ExifPlace::beforeData, testing::ExifPlace::afterData}) {
      const testing::PngOptions options{
          .exif = testing::tiffWithOrientation(stored.orientation, place == testing::ExifPlace::afterData),
          .exifPlace = place};
      expectUpright(decodeCarPicture(encodePng(storedPicture(stored), options)), 40, 60, 0);
    }
    expectUpright(decodeCarPicture(encodeJpeg(storedPicture(stored), {.orientation = stored.orientation})),
                  40, 60, 24);
  }
}

// Every way a picture fails, with a part of the reason it must give.
TEST(CarPictureFailure, DamagedForeignOrOversizedBytesGiveNoPicture) {
  const TestImage image = quadrants(400, 300, kUpright);
  const Bytes png = encodePng(image);
  Bytes flipped = png;
  for (std::size_t i = 100; i < 200; ++i) flipped[i] ^= 0xA5;  // inside the first IDAT
  const Bytes progressive =
      encodeJpeg(quadrants(640, 480, kUpright), testing::JpegOptions{testing::JpegColour::grey, true, {}});
  struct Case {
    const char* what;
    Bytes bytes;
    const char* reason;
    CarPictureLimits limits = {};
  };
  // clang-format off
  std::vector<Case> cases = {
      {"empty", {}, "empty"}, {"PNG signature only", Bytes(png.begin(), png.begin() + 8), ""},
      {"half a PNG", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)), ""},
      {"damaged image data", flipped, "CRC"}, {"wrong adler32", encodePng(image, testing::PngOptions{.damagedChecksum = true}), "damaged"},
      {"unknown row filter", encodePng(image, testing::PngOptions{.filter = 5}), "filter"},
      {"PNG just over 50 MP", testing::pngHeaderOnly(7072, 7072), "declares"}, {"PNG side over 65535", testing::pngHeaderOnly(70000, 10), "declares"},
      {"PNG under 50 MP, cut short after its header", testing::pngHeaderOnly(7071, 7071), "ends early"},
      {"JPEG 3.6 GP", testing::jpegDeclaring(60000, 60000), "declares"}, {"300 scans", testing::repeatScan(progressive, 300), "64 scans"},
      {"7000² progressive, one scan repeated", testing::jpegSkeleton(0xC2, 7000, 1, 300, 65), ""},
      {"2000² progressive, one scan repeated", testing::jpegSkeleton(0xC2, 2000, 1, 300, 65), "scans"},
      {"CMYK: 392 MB of coefficients", testing::jpegSkeleton(0xC2, 7000, 4, 1, 64), "more memory"},
      {"progressive over 1 MiB", encodeJpeg(quadrants(1000, 1000, kUpright), testing::JpegOptions{testing::JpegColour::rgb, true, {}}),
       "more memory", CarPictureLimits{.maxJpegMemory = 1u << 20}},
      {"random bytes", Bytes(4096, 0x5A), "neither PNG nor JPEG"}};
  // clang-format on
  for (Bytes& foreign : testing::foreignPictures())
    cases.push_back({"foreign format", foreign, "neither PNG nor JPEG"});
  for (const Case& c : cases) {
    const Result<ui::Bitmap> picture = decodeCarPicture(c.bytes, c.limits);
    ASSERT_FALSE(picture.ok()) << c.what;
    EXPECT_NE(picture.error().message.find(c.reason), std::string::npos)
        << c.what << ": " << picture.error().message;
  }
}

// Hands out a picture 1000 bytes at a time and counts what was taken; after
// `good` bytes it fails, as a disk error or a file grown past the store's
// limit does.
struct PieceSource : PictureSource {
  PieceSource(const Bytes& bytes, std::size_t good = SIZE_MAX) : bytes(bytes), good(good) {}
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t size) override {
    if (taken >= good) return Error{"cannot read car.png: Input/output error"};
    const std::size_t n = std::min({size, std::size_t{1000}, bytes.size() - taken, good - taken});
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(taken), n, buffer);
    taken += n;
    return n;
  }
  const Bytes& bytes;
  std::size_t good, taken = 0;
};

TEST(CarPictureInput, AReadErrorMakesThePictureUnusableAndNothingPastTheEndIsRead) {
  for (Bytes picture :
       {encodePng(quadrants(400, 300, kUpright)), encodeJpeg(quadrants(400, 300, kUpright))}) {
    for (std::size_t good : {std::size_t{0}, std::size_t{4}, picture.size() / 2}) {
      PieceSource source(picture, good);
      const Result<ui::Bitmap> decoded = decodeCarPicture(source);
      ASSERT_FALSE(decoded.ok()) << good;
      EXPECT_EQ(decoded.error().message, "cannot read car.png: Input/output error");
    }
    const std::size_t size = picture.size();
    picture.resize(size + (8u << 20), 0);  // padding to the store's limit costs nothing
    PieceSource source(picture);
    expectUpright(decodeCarPicture(source), 400, 300, 8);
    EXPECT_LT(source.taken, size + (256u << 10));
  }
}

}  // namespace
}  // namespace kelvo::widget
