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

// Signature and IHDR of an 8-bit RGBA PNG.
std::vector<std::uint8_t> start(std::uint32_t width, std::uint32_t height, bool interlaced) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  put(ihdr, width, 4);
  put(ihdr, height, 4);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});
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
      raw.push_back(0);  // filter: none
      for (int x = pass.x0; x < image.width; x += pass.dx) {
        const std::uint8_t* p = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
        raw.insert(raw.end(), p, p + 4);
      }
    }
  }
  std::vector<std::uint8_t> png =
      start(static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height),
            options.interlace == Interlace::adam7);
  if (options.exif && options.exifPlace == ExifPlace::beforeData) chunk(png, "eXIf", *options.exif);
  // Several IDAT chunks, as encoders usually write them.
  const std::vector<std::uint8_t> data = deflate(raw);
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
  for (const auto& [value, bytes] :
       std::initializer_list<std::pair<std::uint32_t, int>>{{42, 2},
                                                            {8, 4},
                                                            {2, 2},
                                                            {0x010F, 2},
                                                            {2, 2},
                                                            {4, 4},
                                                            {0x4B6C7600, 4},
                                                            {0x0112, 2},
                                                            {3, 2},
                                                            {1, 4},
                                                            {static_cast<std::uint32_t>(orientation), 2},
                                                            {0, 2},
                                                            {0, 4}}) {
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

std::vector<std::uint8_t> encodeJpeg(const TestImage& image, std::optional<int> orientation) {
  return encodeJpeg(image, JpegOptions{JpegColour::rgb, false, orientation});
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

}  // namespace kelvo::widget::testing
