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
  std::optional<std::vector<std::uint8_t>> exif = {};  // eXIf chunk contents
  ExifPlace exifPlace = ExifPlace::beforeData;
  bool sixteenBit = false;                      // each sample v written as v * 257
  std::optional<std::uint32_t> colourKey = {};  // RGB without alpha, with this 0xRRGGBB as tRNS
  std::uint8_t filter = 0;                      // every row's filter byte (the data stays unfiltered)
  bool damagedChecksum = false;                 // a wrong adler32 under correct chunk CRCs
};

std::vector<std::uint8_t> encodePng(const TestImage& image, const PngOptions& options = {});
// A PNG signature and header declaring the size, then one tiny IDAT and IEND.
std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height);

enum class JpegColour { rgb, grey, cmyk };

struct JpegOptions {
  JpegColour colour = JpegColour::rgb;  // cmyk: Adobe's inverted inks, as Photoshop writes them
  bool progressive = false;             // libjpeg's standard progression
  std::optional<int> orientation = {};  // an APP1 EXIF segment with this orientation
};

// A JPEG written by libjpeg at quality 95 (alpha dropped); with an
// orientation, an APP1 EXIF segment right after the start-of-image marker.
std::vector<std::uint8_t> encodeJpeg(const TestImage& image, const JpegOptions& options = {});

// The JPEG with its first scan repeated `times` times.
std::vector<std::uint8_t> repeatScan(const std::vector<std::uint8_t>& jpeg, int times);

// A TIFF block (the eXIf / APP1 payload) whose IFD0 holds an unrelated entry,
// then the orientation.
std::vector<std::uint8_t> tiffWithOrientation(int orientation, bool bigEndian);

// A small baseline JPEG whose frame header declares width × height.
std::vector<std::uint8_t> jpegDeclaring(std::uint16_t width, std::uint16_t height);
// A JPEG frame (SOF `frame`) of side² with its tables and one DC scan of
// `scanBytes` zero bytes, repeated `scans` times: what a hostile file needs
// to make a decoder allocate and walk a huge image.
std::vector<std::uint8_t> jpegSkeleton(std::uint8_t frame, int side, int components, int scans,
                                       int scanBytes);
// GIF, BMP, PNM, TIFF and WebP files, some declaring 7000² pixels.
std::vector<std::vector<std::uint8_t>> foreignPictures();

}  // namespace kelvo::widget::testing
