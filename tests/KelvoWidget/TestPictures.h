#pragma once

// Pictures made on the fly for the picture and provider tests: PNGs written
// here byte by byte (so interlacing and eXIf placement are under the test's
// control) and JPEGs written by libjpeg.

#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo::widget::testing {

// Straight-alpha RGBA, row by row.
struct TestImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;

  static TestImage filled(int width, int height, std::uint32_t rgba);
  // Fills the rectangle [x0, x1) × [y0, y1).
  void fill(int x0, int y0, int x1, int y1, std::uint32_t rgba);
};

enum class Interlace { none, adam7 };
enum class ExifPlace { beforeData, afterData };

struct PngOptions {
  Interlace interlace = Interlace::none;
  std::optional<std::vector<std::uint8_t>> exif;  // eXIf chunk contents
  ExifPlace exifPlace = ExifPlace::beforeData;
};

std::vector<std::uint8_t> encodePng(const TestImage& image, const PngOptions& options = {});
// A PNG signature and header declaring the size, then one tiny IDAT and IEND.
std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height);

enum class JpegColour { rgb, grey, cmyk };

struct JpegOptions {
  JpegColour colour = JpegColour::rgb;  // cmyk: Adobe's inverted inks, as Photoshop writes them
  bool progressive = false;             // libjpeg's standard progression
  std::optional<int> orientation;       // an APP1 EXIF segment with this orientation
};

// A JPEG written by libjpeg at quality 95 (alpha dropped); with an
// orientation, an APP1 EXIF segment right after the start-of-image marker.
std::vector<std::uint8_t> encodeJpeg(const TestImage& image, const JpegOptions& options);
std::vector<std::uint8_t> encodeJpeg(const TestImage& image, std::optional<int> orientation = std::nullopt);

// The JPEG with its first scan repeated `times` times.
std::vector<std::uint8_t> repeatScan(const std::vector<std::uint8_t>& jpeg, int times);

// A TIFF block (the eXIf / APP1 payload) whose IFD0 holds an unrelated entry,
// then the orientation.
std::vector<std::uint8_t> tiffWithOrientation(int orientation, bool bigEndian);

}  // namespace kelvo::widget::testing
