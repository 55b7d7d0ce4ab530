#include "TestPictures.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE
// clang-format off
#include <jpeglib.h>
// clang-format on
#include <cstdlib>
#include <stdexcept>

namespace kelvo::widget::testing {

namespace {

// Appends `bytes` bytes of `v`, most significant first unless little-endian.
void put(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes, bool bigEndian = true) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> 8 * (bigEndian ? bytes - 1 - i : i)));
}

void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
  put(out, static_cast<std::uint32_t>(data.size()), 4);
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))),
      4);
}

// Signature and IHDR of an 8-bit RGBA PNG (or the given depth and colour type).
std::vector<std::uint8_t> start(std::uint32_t width, std::uint32_t height, bool interlaced,
                                std::uint8_t depth = 8, std::uint8_t colour = 6) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  put(ihdr, width, 4);
  put(ihdr, height, 4);
  ihdr.insert(ihdr.end(), {depth, colour, 0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});
  chunk(png, "IHDR", ihdr);
  return png;
}

std::vector<std::uint8_t> deflate(const std::vector<std::uint8_t>& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 1) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

}  // namespace

TestImage TestImage::filled(int width, int height, std::uint32_t rgba) {
  TestImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
  image.fill(0, 0, width, height, rgba);
  return image;
}

void TestImage::fill(int x0, int y0, int x1, int y1, std::uint32_t value) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 4; ++c)
        rgba[(static_cast<std::size_t>(y) * width + x) * 4 + c] =
            static_cast<std::uint8_t>(value >> (24 - 8 * c));
}

std::vector<std::uint8_t> encodePng(const TestImage& image, const PngOptions& options) {
  // Adam7 passes as {x0, y0, dx, dy}; a plain PNG is one pass over everything.
  struct Pass {
    int x0, y0, dx, dy;
  };
  const std::vector<Pass> passes =
      options.interlace == Interlace::none
          ? std::vector<Pass>{{0, 0, 1, 1}}
          : std::vector<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                              {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::vector<std::uint8_t> raw;
  for (const Pass& pass : passes) {
    if (pass.x0 >= image.width) continue;  // empty passes have no scanlines
    for (int y = pass.y0; y < image.height; y += pass.dy) {
      raw.push_back(options.filter);
      for (int x = pass.x0; x < image.width; x += pass.dx) {
        const std::uint8_t* p = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
        for (int c = 0; c < (options.colourKey ? 3 : 4); ++c) {
          raw.push_back(p[c]);
          if (options.sixteenBit) raw.push_back(p[c]);
        }
      }
    }
  }
  std::vector<std::uint8_t> png =
      start(static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height),
            options.interlace == Interlace::adam7, options.sixteenBit ? 16 : 8, options.colourKey ? 2 : 6);
  if (options.colourKey) {
    std::vector<std::uint8_t> key;
    for (int shift : {16, 8, 0}) {
      const std::uint32_t v = *options.colourKey >> shift & 0xFF;
      put(key, options.sixteenBit ? v << 8 | v : v, 2);
    }
    chunk(png, "tRNS", key);
  }
  if (options.exif && options.exifPlace == ExifPlace::beforeData) chunk(png, "eXIf", *options.exif);
  // Several IDAT chunks, as encoders usually write them.
  std::vector<std::uint8_t> data = deflate(raw);
  if (options.damagedChecksum) data.back() ^= 1;
  for (std::size_t offset = 0; offset < data.size(); offset += 1 << 16) {
    const auto from = data.begin() + static_cast<std::ptrdiff_t>(offset);
    chunk(png, "IDAT",
          {from, from + static_cast<std::ptrdiff_t>(std::min<std::size_t>(1 << 16, data.size() - offset))});
  }
  if (options.exif && options.exifPlace == ExifPlace::afterData) chunk(png, "eXIf", *options.exif);
  chunk(png, "IEND", {});
  return png;
}

std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> png = start(width, height, false);
  chunk(png, "IDAT", deflate(std::vector<std::uint8_t>(64, 0)));
  chunk(png, "IEND", {});
  return png;
}

std::vector<std::uint8_t> tiffWithOrientation(int orientation, bool bigEndian) {
  std::vector<std::uint8_t> tiff =
      bigEndian ? std::vector<std::uint8_t>{'M', 'M'} : std::vector<std::uint8_t>{'I', 'I'};
  // Header, IFD0 at 8 with two entries: Make (ASCII "Klv" inline), then the
  // orientation (SHORT); no next IFD.
  // clang-format off
  for (const auto& [value, bytes] : std::initializer_list<std::pair<std::uint32_t, int>>{{42, 2}, {8, 4}, {2, 2},
           {0x010F, 2}, {2, 2}, {4, 4}, {0x4B6C7600, 4}, {0x0112, 2}, {3, 2}, {1, 4},
           {static_cast<std::uint32_t>(orientation), 2}, {0, 2}, {0, 4}}) {
    // clang-format on
    put(tiff, value, bytes, bigEndian || value == 0x4B6C7600);
  }
  return tiff;
}

std::vector<std::uint8_t> encodeJpeg(const TestImage& image, const JpegOptions& options) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  error.error_exit = [](j_common_ptr) { throw std::runtime_error("JPEG encoding failed"); };
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  const int channels = options.colour == JpegColour::grey ? 1 : options.colour == JpegColour::cmyk ? 4 : 3;
  cinfo.input_components = channels;
  cinfo.in_color_space = options.colour == JpegColour::grey   ? JCS_GRAYSCALE
                         : options.colour == JpegColour::cmyk ? JCS_CMYK
                                                              : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (options.orientation) {
    std::vector<std::uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
    const std::vector<std::uint8_t> tiff = tiffWithOrientation(*options.orientation, true);
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * channels);
  while (cinfo.next_scanline < cinfo.image_height) {
    const std::uint8_t* in = &image.rgba[static_cast<std::size_t>(cinfo.next_scanline) * image.width * 4];
    for (int x = 0; x < image.width; ++x, in += 4) {
      std::uint8_t* out = &row[static_cast<std::size_t>(x) * channels];
      if (channels == 1) {
        out[0] = static_cast<std::uint8_t>((in[0] * 77 + in[1] * 150 + in[2] * 29) >> 8);
      } else {
        std::copy(in, in + 3, out);
        if (channels == 4) out[3] = 255;  // Adobe's inverted inks: R, G, B as they are, no black
      }
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

std::vector<std::uint8_t> repeatScan(const std::vector<std::uint8_t>& jpeg, int times) {
  const std::vector<std::uint8_t> sos = {0xFF, 0xDA};
  const auto first = std::search(jpeg.begin(), jpeg.end(), sos.begin(), sos.end());
  if (first == jpeg.end()) return jpeg;
  // The scan runs to the next marker that is not a stuffed 0xFF or a restart.
  auto end = first + 2;
  while (end + 1 < jpeg.end() && !(end[0] == 0xFF && end[1] != 0 && (end[1] < 0xD0 || end[1] > 0xD7))) ++end;
  std::vector<std::uint8_t> out(jpeg.begin(), end);
  for (int i = 1; i < times; ++i) out.insert(out.end(), first, end);
  out.insert(out.end(), end, jpeg.end());
  return out;
}

namespace {
using Bytes = std::vector<std::uint8_t>;

Bytes littleEndian(std::initializer_list<std::pair<std::uint32_t, int>> fields) {
  Bytes out;
  for (const auto& [value, size] : fields) put(out, value, size, false);
  return out;
}
template <std::size_t N>
Bytes bytesOf(const char (&text)[N]) {
  return {text, text + N - 1};
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace

std::vector<std::uint8_t> jpegDeclaring(std::uint16_t width, std::uint16_t height) {
  std::vector<std::uint8_t> jpeg = encodeJpeg(TestImage::filled(16, 16, 0xFF0000FF));
  // Baseline start-of-frame: FF C0, length, precision, height, width.
  const std::vector<std::uint8_t> sof = {0xFF, 0xC0};
  const auto at = std::search(jpeg.begin(), jpeg.end(), sof.begin(), sof.end()) - jpeg.begin();
  if (at + 9 <= static_cast<std::ptrdiff_t>(jpeg.size())) {
    const std::uint8_t size[] = {std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8),
                                 std::uint8_t(width)};
    std::copy(std::begin(size), std::end(size), jpeg.begin() + at + 5);
  }
  return jpeg;
}

std::vector<std::uint8_t> jpegSkeleton(std::uint8_t frame, int side, int components, int scans,
                                       int scanBytes) {
  std::vector<std::uint8_t> out = {0xFF, 0xD8};
  const auto segment = [&](std::uint8_t marker, const std::vector<std::uint8_t>& payload) {
    out.insert(out.end(),
               {0xFF, marker, std::uint8_t((payload.size() + 2) >> 8), std::uint8_t(payload.size() + 2)});
    out.insert(out.end(), payload.begin(), payload.end());
  };
  if (components == 4) segment(0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0});
  std::vector<std::uint8_t> quant(65, 1);
  quant[0] = 0;
  segment(0xDB, quant);
  const std::uint8_t high = std::uint8_t(side >> 8), low = std::uint8_t(side);
  std::vector<std::uint8_t> sof = {8, high, low, high, low, std::uint8_t(components)};
  for (int c = 1; c <= components; ++c) sof.insert(sof.end(), {std::uint8_t(c), 0x11, 0});
  segment(frame, sof);
  std::vector<std::uint8_t> huffman = {0x00, 1};  // DC table 0: one code of length 1, for difference 0
  huffman.resize(17, 0);
  huffman.push_back(0);
  segment(0xC4, huffman);
  std::vector<std::uint8_t> sos = {std::uint8_t(components)};
  for (int c = 1; c <= components; ++c) sos.insert(sos.end(), {std::uint8_t(c), 0});
  sos.insert(sos.end(), {0, 0, 0});  // DC only, first pass
  for (int i = 0; i < scans; ++i) {
    segment(0xDA, sos);
    out.insert(out.end(), static_cast<std::size_t>(scanBytes), 0);
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

// GIF with a 7000² screen and a 1×1 frame, a plain 1×1 GIF, BMP RLE8 7000²
// ending at once, PNM bitmap 7000², TIFF and WebP headers: none is a picture.
std::vector<std::vector<std::uint8_t>> foreignPictures() {
  const std::vector<std::uint8_t> frame = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B};
  const auto gif = [&](std::uint32_t side) {
    return bytesOf("GIF89a") +
           littleEndian({{side, 2}, {side, 2}, {0x80, 1}, {0, 1}, {0, 1}, {0, 3}, {0xFFFFFF, 3}}) + frame;
  };
  // clang-format off
  std::vector<std::uint8_t> bmp = bytesOf("BM") + littleEndian({{1080, 4}, {0, 4}, {1078, 4}, {40, 4}, {7000, 4},
      {7000, 4}, {1, 2}, {8, 2}, {1, 4}, {2, 4}, {2835, 4}, {2835, 4}, {256, 4}, {0, 4}});
  // clang-format on
  bmp.resize(1078, 0);
  bmp.insert(bmp.end(), {0, 1});
  return {gif(7000),
          gif(1),
          bmp,
          bytesOf("P4\n7000 7000\n") + Bytes(875 * 4, 0),
          bytesOf("II*\0") + Bytes(64, 0),
          bytesOf("RIFF\x1a\0\0\0WEBPVP8 ") + Bytes(64, 0)};
}

}  // namespace kelvo::widget::testing
