#include "TestPictures.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <zlib.h>

#include <stdexcept>
#include <string>

namespace kelvo::widget::testing {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
  put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

std::vector<std::uint8_t> header(std::uint32_t width, std::uint32_t height, bool interlaced) {
  std::vector<std::uint8_t> ihdr;
  put32(ihdr, width);
  put32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});  // 8-bit RGBA
  return ihdr;
}

std::vector<std::uint8_t> deflate(const std::vector<std::uint8_t>& raw, int level) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

TestImage TestImage::filled(int width, int height, std::uint32_t rgba) {
  TestImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
  image.fill(0, 0, width, height, rgba);
  return image;
}

void TestImage::set(int x, int y, std::uint32_t value) {
  std::uint8_t* p = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

void TestImage::fill(int x0, int y0, int x1, int y1, std::uint32_t value) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) set(x, y, value);
}

std::vector<std::uint8_t> encodePng(const TestImage& image, const PngOptions& options) {
  std::vector<std::uint8_t> raw;
  const auto row = [&](int y, int x0, int step) {
    raw.push_back(0);  // filter: none
    for (int x = x0; x < image.width; x += step) {
      const std::uint8_t* p = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
      raw.insert(raw.end(), p, p + 4);
    }
  };
  if (options.interlace == Interlace::none) {
    for (int y = 0; y < image.height; ++y) row(y, 0, 1);
  } else {
    struct Pass {
      int x0, y0, dx, dy;
    };
    const Pass passes[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const Pass& pass : passes) {
      if (pass.x0 >= image.width) continue;  // empty passes have no scanlines
      for (int y = pass.y0; y < image.height; y += pass.dy) row(y, pass.x0, pass.dx);
    }
  }

  std::vector<std::uint8_t> png(std::begin(kSignature), std::end(kSignature));
  chunk(png, "IHDR",
        header(static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height),
               options.interlace == Interlace::adam7));
  if (options.exif && options.exifPlace == ExifPlace::beforeData) chunk(png, "eXIf", *options.exif);
  const std::vector<std::uint8_t> compressed = deflate(raw, options.compressionLevel);
  // Several IDAT chunks, as encoders usually write them.
  constexpr std::size_t kIdatBytes = 1 << 16;
  for (std::size_t offset = 0; offset < compressed.size(); offset += kIdatBytes) {
    const std::size_t end = std::min(compressed.size(), offset + kIdatBytes);
    chunk(png, "IDAT",
          std::vector<std::uint8_t>(compressed.begin() + static_cast<std::ptrdiff_t>(offset),
                                    compressed.begin() + static_cast<std::ptrdiff_t>(end)));
  }
  if (options.exif && options.exifPlace == ExifPlace::afterData) chunk(png, "eXIf", *options.exif);
  chunk(png, "IEND", {});
  return png;
}

std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> png(std::begin(kSignature), std::end(kSignature));
  chunk(png, "IHDR", header(width, height, false));
  chunk(png, "IDAT", deflate(std::vector<std::uint8_t>(64, 0), 9));
  chunk(png, "IEND", {});
  return png;
}

std::vector<std::uint8_t> tiffWithOrientation(int orientation, bool bigEndian) {
  const auto u16 = [&](std::vector<std::uint8_t>& out, std::uint16_t v) {
    if (bigEndian)
      out.insert(out.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    else
      out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
  };
  const auto u32 = [&](std::vector<std::uint8_t>& out, std::uint32_t v) {
    if (bigEndian) {
      u16(out, static_cast<std::uint16_t>(v >> 16));
      u16(out, static_cast<std::uint16_t>(v));
    } else {
      u16(out, static_cast<std::uint16_t>(v));
      u16(out, static_cast<std::uint16_t>(v >> 16));
    }
  };
  std::vector<std::uint8_t> tiff;
  tiff.insert(tiff.end(), bigEndian ? std::initializer_list<std::uint8_t>{'M', 'M'}
                                    : std::initializer_list<std::uint8_t>{'I', 'I'});
  u16(tiff, 42);
  u32(tiff, 8);       // IFD0 right after the header
  u16(tiff, 2);       // two entries: one unrelated, then the orientation
  u16(tiff, 0x010F);  // Make, ASCII, 4 bytes inline
  u16(tiff, 2);
  u32(tiff, 4);
  tiff.insert(tiff.end(), {'K', 'l', 'v', 0});
  u16(tiff, 0x0112);
  u16(tiff, 3);
  u32(tiff, 1);
  u16(tiff, static_cast<std::uint16_t>(orientation));
  u16(tiff, 0);
  u32(tiff, 0);  // no next IFD
  return tiff;
}

std::vector<std::uint8_t> encodeJpeg(const TestImage& image, std::optional<int> orientation) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
  if (pixbuf == nullptr) throw std::runtime_error("gdk_pixbuf_new failed");
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  guint8* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* from = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
      guint8* to = pixels + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  gchar* buffer = nullptr;
  gsize size = 0;
  GError* error = nullptr;
  const gboolean saved =
      gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", &error, "quality", "95", nullptr);
  g_object_unref(pixbuf);
  if (!saved) {
    const std::string message = error != nullptr ? error->message : "unknown";
    if (error != nullptr) g_error_free(error);
    throw std::runtime_error("JPEG encoding failed: " + message);
  }
  std::vector<std::uint8_t> jpeg(reinterpret_cast<std::uint8_t*>(buffer),
                                 reinterpret_cast<std::uint8_t*>(buffer) + size);
  g_free(buffer);
  if (orientation) {
    std::vector<std::uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    const std::vector<std::uint8_t> tiff = tiffWithOrientation(*orientation, true);
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    const std::size_t length = payload.size() + 2;
    std::vector<std::uint8_t> app1 = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                                      static_cast<std::uint8_t>(length)};
    app1.insert(app1.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
  }
  return jpeg;
}

}  // namespace kelvo::widget::testing
