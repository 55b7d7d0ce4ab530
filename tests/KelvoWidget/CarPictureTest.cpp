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

template <std::size_t N>
Bytes bytesOf(const char (&text)[N]) {
  return {text, text + N - 1};
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

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

// A JPEG frame header with its tables and one scan of `scanBytes` zero
// bytes, repeated `scans` times: what a hostile file needs to make a decoder
// allocate and walk a huge image.
Bytes jpegSkeleton(std::uint8_t frame, int side, int components, int scans, int scanBytes) {
  Bytes out = {0xFF, 0xD8};
  const auto segment = [&](std::uint8_t marker, const Bytes& payload) {
    out.insert(out.end(),
               {0xFF, marker, std::uint8_t((payload.size() + 2) >> 8), std::uint8_t(payload.size() + 2)});
    out.insert(out.end(), payload.begin(), payload.end());
  };
  if (components == 4) segment(0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0});
  Bytes quant(65, 1);
  quant[0] = 0;
  segment(0xDB, quant);
  Bytes sof = {8,
               std::uint8_t(side >> 8),
               std::uint8_t(side),
               std::uint8_t(side >> 8),
               std::uint8_t(side),
               std::uint8_t(components)};
  for (int c = 1; c <= components; ++c) sof.insert(sof.end(), {std::uint8_t(c), 0x11, 0});
  segment(frame, sof);
  Bytes huffman = {0x00, 1};  // DC table 0: one code of length 1, for difference 0
  huffman.resize(17, 0);
  huffman.push_back(0);
  segment(0xC4, huffman);
  Bytes sos = {std::uint8_t(components)};
  for (int c = 1; c <= components; ++c) sos.insert(sos.end(), {std::uint8_t(c), 0});
  sos.insert(sos.end(), {0, 0, 0});  // DC only, first pass
  for (int i = 0; i < scans; ++i) {
    segment(0xDA, sos);
    out.insert(out.end(), static_cast<std::size_t>(scanBytes), 0);
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

// Every decoded quadrant is `expected` (kUpright's colours, turned grey for
// grey JPEGs).
void expectQuadrants(const Result<ui::Bitmap>& picture, int width, int height, const Quadrants& expected) {
  ASSERT_TRUE(picture.ok()) << picture.error().message;
  ASSERT_EQ(picture->width, width);
  ASSERT_EQ(picture->height, height);
  const int left = width / 8, right = width - 1 - width / 8, top = height / 8,
            bottom = height - 1 - height / 8;
  expectPixel(*picture, left, top, opaque(expected[0]), 10);
  expectPixel(*picture, right, top, opaque(expected[1]), 10);
  expectPixel(*picture, left, bottom, opaque(expected[2]), 10);
  expectPixel(*picture, right, bottom, opaque(expected[3]), 10);
}

TEST(CarPictureJpeg, ProgressiveGreyAndCmykDecodeLikeBaselineRgb) {
  using testing::JpegColour;
  using testing::JpegOptions;
  // Luma of red, green, blue and white as libjpeg weighs them.
  const Quadrants grey = {0x4C4C4CFF, 0x969696FF, 0x1D1D1DFF, kWhite};
  const TestImage image = quadrants(400, 300, kUpright);
  const std::pair<JpegOptions, Quadrants> cases[] = {
      {{JpegColour::rgb, true, {}}, kUpright},  {{JpegColour::grey, false, {}}, grey},
      {{JpegColour::grey, true, {}}, grey},     {{JpegColour::cmyk, false, {}}, kUpright},
      {{JpegColour::cmyk, true, {}}, kUpright},
  };
  for (const auto& [options, expected] : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(options.colour)) +
                 (options.progressive ? " progressive" : ""));
    expectQuadrants(decodeCarPicture(testing::encodeJpeg(image, options)), 400, 300, expected);
  }
  // A 12-megapixel progressive photo stays within the decoder's memory, and
  // its EXIF orientation still turns it.
  expectUpright(decodeCarPicture(encodeJpeg(quadrants(4000, 3000, kStored[5].quadrants),
                                            JpegOptions{JpegColour::rgb, true, 6})),
                600, 800, 10);
}

TEST(CarPictureJpeg, RepeatedScansAreRefusedPastTheLimit) {
  const Bytes progressive =
      encodeJpeg(quadrants(640, 480, kUpright), testing::JpegOptions{testing::JpegColour::grey, true, {}});
  const struct {
    int times;
    bool decodes;
  } cases[] = {{1, true}, {50, true}, {300, false}};
  for (const auto& c : cases) {
    const Result<ui::Bitmap> picture = decodeCarPicture(testing::repeatScan(progressive, c.times));
    EXPECT_EQ(picture.ok(), c.decodes) << c.times;
    if (!c.decodes) {
      EXPECT_NE(picture.error().message.find("64 scans"), std::string::npos) << picture.error().message;
    }
  }
  // The file as an attacker writes it: 7000 × 7000 grey, one small scan
  // repeated; refused for its memory before any scan is read. Smaller, so
  // that it fits the memory, the scan limit stops it.
  EXPECT_FALSE(decodeCarPicture(jpegSkeleton(0xC2, 7000, 1, 300, 65)).ok());
  const Result<ui::Bitmap> bomb = decodeCarPicture(jpegSkeleton(0xC2, 2000, 1, 300, 65));
  ASSERT_FALSE(bomb.ok());
  EXPECT_NE(bomb.error().message.find("scans"), std::string::npos) << bomb.error().message;
}

TEST(CarPictureJpeg, CoefficientsBeyondTheMemoryBudgetAreRefused) {
  const std::pair<Bytes, CarPictureLimits> cases[] = {
      {jpegSkeleton(0xC2, 7000, 4, 1, 64), {}},  // CMYK: 392 MB of coefficients
      {encodeJpeg(quadrants(1000, 1000, kUpright), testing::JpegOptions{testing::JpegColour::rgb, true, {}}),
       CarPictureLimits{.maxJpegMemory = 1u << 20}},
  };
  for (const auto& [bytes, limits] : cases) {
    const Result<ui::Bitmap> picture = decodeCarPicture(bytes, limits);
    ASSERT_FALSE(picture.ok());
    EXPECT_EQ(picture.error().message, "The picture needs more memory to decode than a car picture may use.");
  }
  // A baseline frame needs no coefficient buffer: the same size decodes.
  EXPECT_TRUE(decodeCarPicture(jpegSkeleton(0xC0, 7000, 1, 1, 64)).ok());
}

Bytes littleEndian(std::initializer_list<std::pair<std::uint32_t, int>> fields) {
  Bytes out;
  for (const auto& [value, size] : fields)
    for (int i = 0; i < size; ++i) out.push_back(std::uint8_t(value >> (8 * i)));
  return out;
}

TEST(CarPictureFormats, OnlyPngAndJpegArePictures) {
  // GIF with a 7000² screen and a 1×1 frame; BMP RLE8 7000² ending at once;
  // PNM bitmap 7000²; a plain 1×1 GIF; TIFF and WebP headers.
  Bytes gif = bytesOf("GIF89a");
  Bytes screen = littleEndian({{7000, 2}, {7000, 2}, {0x80, 1}, {0, 1}, {0, 1}, {0, 3}, {0xFFFFFF, 3}});
  gif.insert(gif.end(), screen.begin(), screen.end());
  Bytes small = bytesOf("GIF89a");
  Bytes tiny = littleEndian({{1, 2}, {1, 2}, {0x80, 1}, {0, 1}, {0, 1}, {0, 3}, {0xFFFFFF, 3}});
  small.insert(small.end(), tiny.begin(), tiny.end());
  const Bytes frame = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B};
  gif.insert(gif.end(), frame.begin(), frame.end());
  small.insert(small.end(), frame.begin(), frame.end());
  Bytes bmp = bytesOf("BM") + littleEndian({{1080, 4},
                                            {0, 4},
                                            {1078, 4},
                                            {40, 4},
                                            {7000, 4},
                                            {7000, 4},
                                            {1, 2},
                                            {8, 2},
                                            {1, 4},
                                            {2, 4},
                                            {2835, 4},
                                            {2835, 4},
                                            {256, 4},
                                            {0, 4}});
  bmp.resize(1078, 0);
  bmp.insert(bmp.end(), {0, 1});
  const Bytes cases[] = {gif,
                         small,
                         bmp,
                         bytesOf("P4\n7000 7000\n") + Bytes(875 * 4, 0),
                         bytesOf("II*\0") + Bytes(64, 0),
                         bytesOf("RIFF\x1a\0\0\0WEBPVP8 ") + Bytes(64, 0)};
  for (const Bytes& bytes : cases) {
    const Result<ui::Bitmap> picture = decodeCarPicture(bytes);
    ASSERT_FALSE(picture.ok()) << bytes.size() << " bytes";
    EXPECT_EQ(picture.error().message, "The picture is neither PNG nor JPEG.");
  }
}

// Hands out a picture in small pieces and counts what was taken.
class CountingSource : public PictureSource {
 public:
  explicit CountingSource(const Bytes& bytes) : bytes_(bytes) {}
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, std::size_t{1000}, bytes_.size() - taken});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(taken), n, buffer);
    taken += n;
    return n;
  }
  std::size_t taken = 0;

 private:
  const Bytes& bytes_;
};

// Fails after handing out `good` bytes, as a disk error or a file grown past
// the store's limit does.
class FailingSource : public PictureSource {
 public:
  FailingSource(const Bytes& bytes, std::size_t good) : bytes_(bytes), good_(good) {}
  Result<std::size_t> read(std::uint8_t* buffer, std::size_t size) override {
    if (taken_ >= good_) return Error{"cannot read car.png: Input/output error"};
    const std::size_t n = std::min(size, good_ - taken_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(taken_), n, buffer);
    taken_ += n;
    return n;
  }

 private:
  const Bytes& bytes_;
  std::size_t good_;
  std::size_t taken_ = 0;
};

TEST(CarPictureInput, AReadErrorMakesThePictureUnusable) {
  for (const Bytes& picture :
       {encodePng(quadrants(400, 300, kUpright)), encodeJpeg(quadrants(400, 300, kUpright))}) {
    for (std::size_t good : {std::size_t{0}, std::size_t{4}, picture.size() / 2}) {
      FailingSource source(picture, good);
      const Result<ui::Bitmap> decoded = decodeCarPicture(source);
      ASSERT_FALSE(decoded.ok()) << good;
      EXPECT_EQ(decoded.error().message, "cannot read car.png: Input/output error");
    }
  }
}

TEST(CarPictureInput, DecodingReadsNoFurtherThanThePictureEnds) {
  for (Bytes picture :
       {encodePng(quadrants(400, 300, kUpright)), encodeJpeg(quadrants(400, 300, kUpright))}) {
    const std::size_t size = picture.size();
    picture.resize(size + (8u << 20), 0);  // padding to the store's limit costs nothing
    CountingSource source(picture);
    expectUpright(decodeCarPicture(source), 400, 300, 8);
    EXPECT_LT(source.taken, size + (256u << 10));
  }
}

}  // namespace
}  // namespace kelvo::widget
