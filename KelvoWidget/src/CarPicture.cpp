#include "KelvoWidget/CarPicture.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <spng.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AreaDownscaler.h"
#include "KelvoWidget/ExifOrientation.h"

namespace kelvo::widget {

namespace {

// Ancillary chunks (text, ICC profiles, EXIF) are kept in memory by libspng;
// these bound them. Image data is streamed and not subject to them.
constexpr std::size_t kMaxChunkBytes = 4u << 20;
constexpr std::size_t kMaxChunkCacheBytes = 8u << 20;
constexpr int kMaxChunkCount = 1000;
// Bytes handed to GdkPixbuf per write, so a refusal in "size-prepared" stops
// the decoder before it has seen most of the file.
constexpr std::size_t kLoaderChunkBytes = 64u << 10;

struct Size {
  int width = 0;
  int height = 0;
};

// Longer side at most maxPixelSize, aspect kept, never enlarged.
Size thumbnailSize(std::uint32_t width, std::uint32_t height, int maxPixelSize) {
  const std::uint32_t longer = std::max(width, height);
  const auto limit = static_cast<std::uint32_t>(std::max(maxPixelSize, 1));
  if (longer <= limit) return {static_cast<int>(width), static_cast<int>(height)};
  const double scale = static_cast<double>(limit) / longer;
  const auto scaled = [&](std::uint32_t side) {
    return side == longer ? static_cast<int>(limit)
                          : std::max(1, static_cast<int>(std::lround(side * scale)));
  };
  return {scaled(width), scaled(height)};
}

Status checkDeclaredSize(std::uint64_t width, std::uint64_t height, const CarPictureLimits& limits) {
  if (width == 0 || height == 0) return Error{"The picture declares no pixels."};
  if (width > limits.maxSourceSide || height > limits.maxSourceSide ||
      width * height > limits.maxSourcePixels) {
    return Error{"The picture declares " + std::to_string(width) + " × " + std::to_string(height) +
                 " pixels, more than a car picture may have."};
  }
  return {};
}

bool startsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool isPng(std::span<const std::uint8_t> bytes) {
  return startsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
}

bool isJpeg(std::span<const std::uint8_t> bytes) { return startsWith(bytes, {0xFF, 0xD8, 0xFF}); }

// Vector and compressed-text documents (SVG, SVGZ) have no pixel size to
// check beforehand and may reference other files; a car picture is raster.
bool isMarkupOrCompressed(std::span<const std::uint8_t> bytes) {
  if (startsWith(bytes, {0x1F, 0x8B})) return true;
  std::size_t i = startsWith(bytes, {0xEF, 0xBB, 0xBF}) ? 3 : 0;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
    ++i;
  return i < bytes.size() && bytes[i] == '<';
}

// The frame size from a JPEG's first start-of-frame segment, read before
// any decoder sees the file.
std::optional<Size> jpegDeclaredSize(std::span<const std::uint8_t> bytes) {
  std::size_t i = 2;
  while (i + 4 <= bytes.size()) {
    if (bytes[i] != 0xFF) return std::nullopt;
    const std::uint8_t marker = bytes[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a length
      i += 2;
      continue;
    }
    const std::size_t length = (static_cast<std::size_t>(bytes[i + 2]) << 8) | bytes[i + 3];
    if (length < 2) return std::nullopt;
    const bool startOfFrame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (startOfFrame) {
      if (length < 7 || i + 9 > bytes.size()) return std::nullopt;
      const int height = (bytes[i + 5] << 8) | bytes[i + 6];
      const int width = (bytes[i + 7] << 8) | bytes[i + 8];
      return Size{width, height};
    }
    i += 2 + length;
  }
  return std::nullopt;
}

// ---- PNG: libspng, row by row ----

struct SpngContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

Error spngError(const char* what, int code) { return Error{std::string(what) + ": " + spng_strerror(code)}; }

// Where an Adam7 pass puts its pixels within a row.
struct PassColumns {
  int first;
  int step;
};
constexpr PassColumns kAdam7Columns[7] = {{0, 8}, {4, 8}, {0, 4}, {2, 4}, {0, 2}, {1, 2}, {0, 1}};

Result<ui::Bitmap> decodePng(std::span<const std::uint8_t> bytes, const CarPictureLimits& limits) {
  std::unique_ptr<spng_ctx, SpngContextDeleter> ctx(spng_ctx_new(0));
  if (!ctx) return Error{"Out of memory for the PNG decoder."};
  spng_set_image_limits(ctx.get(), limits.maxSourceSide, limits.maxSourceSide);
  spng_set_chunk_limits(ctx.get(), kMaxChunkBytes, kMaxChunkCacheBytes);
  spng_set_option(ctx.get(), SPNG_CHUNK_COUNT_LIMIT, kMaxChunkCount);
  if (int err = spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()); err != 0) {
    return spngError("PNG", err);
  }

  spng_ihdr header{};
  if (int err = spng_get_ihdr(ctx.get(), &header); err != 0) {
    if (err == SPNG_EUSER_WIDTH || err == SPNG_EUSER_HEIGHT) {
      return Error{"The picture declares a side longer than " + std::to_string(limits.maxSourceSide) +
                   " pixels."};
    }
    return spngError("PNG header", err);
  }
  if (Status size = checkDeclaredSize(header.width, header.height, limits); !size) return size.error();

  const int width = static_cast<int>(header.width);
  const int height = static_cast<int>(header.height);
  const Size target = thumbnailSize(header.width, header.height, limits.maxPixelSize);
  const bool interlaced = header.interlace_method != 0;

  if (int err = spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGBA8,
                                  SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
      err != 0) {
    return spngError("PNG", err);
  }
  // Interlaced passes arrive out of row order, so their downscaler keeps the
  // whole (small) destination; plain PNGs need two destination rows.
  AreaDownscaler scaler(width, height, target.width, target.height,
                        interlaced ? AreaDownscaler::RowOrder::any : AreaDownscaler::RowOrder::sequential);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
  for (;;) {
    spng_row_info info{};
    if (int err = spng_get_row_info(ctx.get(), &info); err != 0) return spngError("PNG rows", err);
    const int err = interlaced ? spng_decode_scanline(ctx.get(), row.data(), row.size())
                               : spng_decode_row(ctx.get(), row.data(), row.size());
    if (err != 0 && err != SPNG_EOI) return spngError("PNG data", err);
    if (interlaced) {
      if (info.pass < 0 || info.pass > 6) return Error{"PNG: unexpected interlace pass."};
      const PassColumns columns = kAdam7Columns[info.pass];
      const int count = width > columns.first ? (width - columns.first + columns.step - 1) / columns.step : 0;
      scaler.addPixels(static_cast<int>(info.row_num), columns.first, columns.step, row.data(), count,
                       AreaDownscaler::Layout::rgba);
    } else {
      scaler.addPixels(static_cast<int>(info.row_num), 0, 1, row.data(), width, AreaDownscaler::Layout::rgba);
    }
    if (err == SPNG_EOI) break;
  }

  // eXIf may follow the image data; a damaged tail after complete pixels
  // only costs the orientation.
  spng_decode_chunks(ctx.get());
  int orientation = 1;
  spng_exif exif{};
  if (spng_get_exif(ctx.get(), &exif) == 0 && exif.data != nullptr) {
    orientation =
        exifOrientation({reinterpret_cast<const std::uint8_t*>(exif.data), exif.length}).value_or(1);
  }
  return applyOrientation(scaler.finish(), orientation);
}

// ---- JPEG and the rest: GdkPixbuf, scaled while loading ----

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

struct LoaderState {
  const CarPictureLimits* limits = nullptr;
  bool jpeg = false;
  std::optional<Error> refusal;
  std::optional<Size> declared;
};

// libjpeg can scale by 1/2, 1/4 or 1/8 while decoding. Ask for the smallest
// of those not below the thumbnail; the area averaging does the rest.
Size jpegDecodeSize(Size declared, Size target) {
  for (int denominator : {8, 4, 2}) {
    const Size scaled{(declared.width + denominator - 1) / denominator,
                      (declared.height + denominator - 1) / denominator};
    if (scaled.width >= target.width && scaled.height >= target.height) return scaled;
  }
  return declared;
}

void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* state = static_cast<LoaderState*>(data);
  if (width <= 0 || height <= 0) {
    state->refusal = Error{"The picture declares no pixels."};
    return;
  }
  if (Status size = checkDeclaredSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height),
                                      *state->limits);
      !size) {
    state->refusal = size.error();
    // A zero size tells the module not to allocate; we stop feeding it too.
    gdk_pixbuf_loader_set_size(loader, 0, 0);
    return;
  }
  const Size declared{width, height};
  state->declared = declared;
  if (state->jpeg) {
    const Size target = thumbnailSize(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                      state->limits->maxPixelSize);
    const Size decode = jpegDecodeSize(declared, target);
    if (decode.width != width || decode.height != height) {
      gdk_pixbuf_loader_set_size(loader, decode.width, decode.height);
    }
  }
}

Error loaderError(GError* error, const char* fallback) {
  return Error{error != nullptr && error->message != nullptr ? error->message : fallback};
}

Result<ui::Bitmap> decodeWithPixbuf(std::span<const std::uint8_t> bytes, const CarPictureLimits& limits) {
  LoaderState state;
  state.limits = &limits;
  state.jpeg = isJpeg(bytes);
  if (state.jpeg) {
    if (std::optional<Size> declared = jpegDeclaredSize(bytes)) {
      if (Status size = checkDeclaredSize(static_cast<std::uint64_t>(declared->width),
                                          static_cast<std::uint64_t>(declared->height), limits);
          !size) {
        return size.error();
      }
    }
  }

  GError* rawError = nullptr;
  std::unique_ptr<GdkPixbufLoader, GObjectUnref> loader(
      state.jpeg ? gdk_pixbuf_loader_new_with_type("jpeg", &rawError) : gdk_pixbuf_loader_new());
  std::unique_ptr<GError, GErrorFree> error(rawError);
  if (!loader) return loaderError(error.get(), "No JPEG decoder is available.");
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &state);

  bool written = true;
  for (std::size_t offset = 0; offset < bytes.size() && !state.refusal; offset += kLoaderChunkBytes) {
    const std::size_t length = std::min(kLoaderChunkBytes, bytes.size() - offset);
    rawError = nullptr;
    if (!gdk_pixbuf_loader_write(loader.get(), bytes.data() + offset, length, &rawError)) {
      error.reset(rawError);
      written = false;
      break;
    }
  }
  // A loader must always be closed; after a refusal or a failed write its
  // answer no longer matters.
  rawError = nullptr;
  const bool closed = gdk_pixbuf_loader_close(loader.get(), &rawError);
  if (written)
    error.reset(rawError);
  else if (rawError != nullptr)
    g_error_free(rawError);
  if (state.refusal) return *state.refusal;
  if (!written || !closed) return loaderError(error.get(), "The picture could not be decoded.");

  if (GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader.get())) {
    gchar* name = gdk_pixbuf_format_get_name(format);
    const bool vector = name != nullptr && std::strcmp(name, "svg") == 0;
    g_free(name);
    if (vector) return Error{"The picture is not a raster image."};
  }
  GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader.get());  // owned by the loader
  if (decoded == nullptr) return Error{"The picture has no image."};

  std::unique_ptr<GdkPixbuf, GObjectUnref> upright(gdk_pixbuf_apply_embedded_orientation(decoded));
  if (!upright) return Error{"The picture could not be turned upright."};
  GdkPixbuf* pixbuf = upright.get();
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (width <= 0 || height <= 0 || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 ||
      gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB || channels != (alpha ? 4 : 3)) {
    return Error{"The picture has an unsupported pixel layout."};
  }

  // The thumbnail follows the declared size, so a DCT-scaled JPEG ends at
  // the same size as a fully decoded one; turned like the pixels were.
  Size source{width, height};
  if (state.declared) {
    source = *state.declared;
    const bool turned = (width > height) != (state.declared->width > state.declared->height);
    if (turned) std::swap(source.width, source.height);
  }
  Size target = thumbnailSize(static_cast<std::uint32_t>(source.width),
                              static_cast<std::uint32_t>(source.height), limits.maxPixelSize);
  target.width = std::min(target.width, width);
  target.height = std::min(target.height, height);

  AreaDownscaler scaler(width, height, target.width, target.height, AreaDownscaler::RowOrder::sequential);
  const int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
  const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
  const auto layout = alpha ? AreaDownscaler::Layout::rgba : AreaDownscaler::Layout::rgb;
  for (int y = 0; y < height; ++y) {
    scaler.addPixels(y, 0, 1, pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowstride),
                     width, layout);
  }
  return scaler.finish();
}

}  // namespace

Result<ui::Bitmap> decodeCarPicture(std::span<const std::uint8_t> bytes, const CarPictureLimits& limits) {
  if (bytes.empty()) return Error{"The picture file is empty."};
  if (isPng(bytes)) return decodePng(bytes, limits);
  if (isMarkupOrCompressed(bytes)) return Error{"The picture is not a raster image."};
  return decodeWithPixbuf(bytes, limits);
}

}  // namespace kelvo::widget
