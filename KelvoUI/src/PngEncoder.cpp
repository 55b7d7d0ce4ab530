#include "PngEncoder.h"

#include <spng.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace kelvo::ui {
namespace {

struct SpngContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

struct Sink {
  cairo_write_func_t write;
  void* closure;
};

int writeToSink(spng_ctx* /*ctx*/, void* user, void* data, std::size_t length) {
  const auto* sink = static_cast<const Sink*>(user);
  return sink->write(sink->closure, static_cast<const unsigned char*>(data), static_cast<unsigned>(length)) ==
                 CAIRO_STATUS_SUCCESS
             ? 0
             : SPNG_IO_ERROR;
}

std::uint32_t pixelAt(const unsigned char* row, int x) {
  std::uint32_t pixel;
  std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, sizeof pixel);
  return pixel;
}

bool isOpaque(const unsigned char* data, int width, int height, int stride) {
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x)
      if ((pixelAt(row, x) >> 24) != 0xFF) return false;
  }
  return true;
}

// One row of premultiplied native-endian ARGB as straight RGBA, with Cairo's
// rounding, or as RGB when the picture is opaque.
void convertRow(const unsigned char* row, int width, bool withAlpha, std::uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    const std::uint32_t pixel = pixelAt(row, x);
    const std::uint32_t alpha = withAlpha ? pixel >> 24 : 0xFF;
    std::uint32_t r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
    if (alpha == 0) {
      r = g = b = 0;
    } else if (alpha != 0xFF) {
      r = (r * 255 + alpha / 2) / alpha;
      g = (g * 255 + alpha / 2) / alpha;
      b = (b * 255 + alpha / 2) / alpha;
    }
    *out++ = static_cast<std::uint8_t>(r);
    *out++ = static_cast<std::uint8_t>(g);
    *out++ = static_cast<std::uint8_t>(b);
    if (withAlpha) *out++ = static_cast<std::uint8_t>(alpha);
  }
}

}  // namespace

cairo_status_t writePngStream(cairo_surface_t* surface, cairo_write_func_t write, void* closure) {
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return cairo_surface_status(surface);
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return CAIRO_STATUS_SURFACE_TYPE_MISMATCH;
  const cairo_format_t format = cairo_image_surface_get_format(surface);
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return CAIRO_STATUS_INVALID_FORMAT;
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  if (data == nullptr || width <= 0 || height <= 0) return CAIRO_STATUS_INVALID_SIZE;
  const bool withAlpha = format == CAIRO_FORMAT_ARGB32 && !isOpaque(data, width, height, stride);

  std::unique_ptr<spng_ctx, SpngContextDeleter> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!ctx) return CAIRO_STATUS_NO_MEMORY;
  Sink sink{write, closure};
  spng_ihdr header{};
  header.width = static_cast<std::uint32_t>(width);
  header.height = static_cast<std::uint32_t>(height);
  header.bit_depth = 8;
  header.color_type = withAlpha ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA : SPNG_COLOR_TYPE_TRUECOLOR;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * (withAlpha ? 4 : 3));
  bool ok = spng_set_png_stream(ctx.get(), writeToSink, &sink) == 0 &&
            spng_set_ihdr(ctx.get(), &header) == 0 &&
            spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, 1) == 0 &&
            spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE) == 0 &&
            spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG,
                              SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) == 0;
  for (int y = 0; ok && y < height; ++y) {
    convertRow(data + static_cast<std::ptrdiff_t>(y) * stride, width, withAlpha, row.data());
    const int err = spng_encode_row(ctx.get(), row.data(), row.size());
    ok = err == 0 || (err == SPNG_EOI && y == height - 1);
  }
  return ok ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace kelvo::ui
