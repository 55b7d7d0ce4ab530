// PNG car pictures: libspng, row by row, straight into the downscaler.

#include <spng.h>

#include <memory>
#include <string>
#include <vector>

#include "AreaDownscaler.h"
#include "KelvoWidget/ExifOrientation.h"
#include "PictureDecoding.h"

namespace kelvo::widget::picture {

namespace {

// All the ancillary chunks libspng keeps, together.
constexpr std::size_t kMaxChunkCacheBytes = 8u << 20;

struct SpngContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

Error spngError(const char* what, int code) { return Error{std::string(what) + ": " + spng_strerror(code)}; }

int readFromInput(spng_ctx* /*ctx*/, void* user, void* destination, std::size_t length) {
  auto* input = static_cast<PictureInput*>(user);
  if (input->readExactly(static_cast<std::uint8_t*>(destination), length)) return 0;
  return input->failure() ? SPNG_IO_ERROR : SPNG_IO_EOF;
}

// Where an Adam7 pass puts its pixels within a row.
struct PassColumns {
  int first;
  int step;
};
constexpr PassColumns kAdam7Columns[7] = {{0, 8}, {4, 8}, {0, 4}, {2, 4}, {0, 2}, {1, 2}, {0, 1}};

using SpngContext = std::unique_ptr<spng_ctx, SpngContextDeleter>;

// Step 1: a decoder reading from the input, with its chunk limits.
Result<SpngContext> openDecoder(PictureInput& input, const CarPictureLimits& limits) {
  SpngContext ctx(spng_ctx_new(0));
  if (!ctx) return Error{"Out of memory for the PNG decoder."};
  spng_set_image_limits(ctx.get(), limits.maxSourceSide, limits.maxSourceSide);
  spng_set_chunk_limits(ctx.get(), kMaxPngChunkBytes, kMaxChunkCacheBytes);
  spng_set_option(ctx.get(), SPNG_CHUNK_COUNT_LIMIT, kMaxPngChunkCount);
  if (int err = spng_set_png_stream(ctx.get(), readFromInput, &input); err != 0) return spngError("PNG", err);
  return ctx;
}

// Step 2: the header, its size checked before anything is allocated for it.
Result<spng_ihdr> readHeader(spng_ctx* ctx, const CarPictureLimits& limits) {
  spng_ihdr header{};
  if (int err = spng_get_ihdr(ctx, &header); err != 0) {
    if (err == SPNG_EUSER_WIDTH || err == SPNG_EUSER_HEIGHT) {
      return Error{"The picture declares a side longer than " + std::to_string(limits.maxSourceSide) +
                   " pixels."};
    }
    return spngError("PNG header", err);
  }
  if (Status size = checkDeclaredSize(header.width, header.height, limits); !size) return size.error();
  return header;
}

// Step 3: every row (or interlaced scanline) as RGBA into the downscaler.
Result<ui::Bitmap> decodeRowsIntoThumbnail(spng_ctx* ctx, const spng_ihdr& header,
                                           const CarPictureLimits& limits) {
  const int width = static_cast<int>(header.width);
  const Size target = thumbnailSize(header.width, header.height, limits.maxPixelSize);
  const bool interlaced = header.interlace_method != 0;
  if (int err =
          spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
      err != 0) {
    return spngError("PNG", err);
  }
  // Interlaced passes arrive out of row order, so their downscaler keeps the
  // whole (small) destination; plain PNGs need two destination rows.
  AreaDownscaler scaler(width, static_cast<int>(header.height), target.width, target.height,
                        interlaced ? AreaDownscaler::RowOrder::any : AreaDownscaler::RowOrder::sequential);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
  for (;;) {
    spng_row_info info{};
    if (int err = spng_get_row_info(ctx, &info); err != 0) return spngError("PNG rows", err);
    const int err = interlaced ? spng_decode_scanline(ctx, row.data(), row.size())
                               : spng_decode_row(ctx, row.data(), row.size());
    if (err != 0 && err != SPNG_EOI) return spngError("PNG data", err);
    PassColumns columns{0, 1};
    if (interlaced) {
      if (info.pass < 0 || info.pass > 6) return Error{"PNG: unexpected interlace pass."};
      columns = kAdam7Columns[info.pass];
    }
    const int count = width > columns.first ? (width - columns.first + columns.step - 1) / columns.step : 0;
    scaler.addPixels(static_cast<int>(info.row_num), columns.first, columns.step, row.data(), count,
                     AreaDownscaler::Layout::rgba);
    if (err == SPNG_EOI) return scaler.finish();
  }
}

// Step 4: the orientation of an eXIf, which may follow the image data; a
// damaged tail after complete pixels only costs the orientation. Nothing
// after IEND is read.
int readOrientation(spng_ctx* ctx) {
  spng_decode_chunks(ctx);
  spng_exif exif{};
  if (spng_get_exif(ctx, &exif) != 0 || exif.data == nullptr) return 1;
  return exifOrientation({reinterpret_cast<const std::uint8_t*>(exif.data), exif.length}).value_or(1);
}

}  // namespace

Result<ui::Bitmap> decodePng(PictureInput& input, const CarPictureLimits& limits) {
  Result<SpngContext> ctx = openDecoder(input, limits);
  if (!ctx) return ctx.error();
  const Result<spng_ihdr> header = readHeader(ctx->get(), limits);
  if (!header) return header.error();
  Result<ui::Bitmap> thumbnail = decodeRowsIntoThumbnail(ctx->get(), *header, limits);
  if (!thumbnail) return thumbnail;
  return applyOrientation(*thumbnail, readOrientation(ctx->get()));
}

}  // namespace kelvo::widget::picture
