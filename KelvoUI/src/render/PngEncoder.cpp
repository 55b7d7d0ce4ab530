#include "render/PngEncoder.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvo::ui {
namespace {

constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kColorTypeGrey = 0;
constexpr std::uint8_t kColorTypeRgba = 6;
// Rows handed to the compressor at a time, and the most image data one IDAT
// chunk carries: small enough to stay in the cache, large enough that the
// per-call and per-chunk costs vanish.
constexpr int kRowsPerBatch = 16;
constexpr std::size_t kIdatBytes = 64 * 1024;

void putBigEndian(std::uint8_t* out, std::uint32_t value) {
  out[0] = std::uint8_t(value >> 24);
  out[1] = std::uint8_t(value >> 16);
  out[2] = std::uint8_t(value >> 8);
  out[3] = std::uint8_t(value);
}

// Writes PNG chunks (length, type, data, CRC of type and data) to the sink.
class ChunkWriter {
 public:
  ChunkWriter(cairo_write_func_t write, void* closure) : write_(write), closure_(closure) {}

  bool raw(const std::uint8_t* data, std::size_t length) {
    return ok_ = ok_ && write_(closure_, data, static_cast<unsigned>(length)) == CAIRO_STATUS_SUCCESS;
  }

  bool chunk(std::string_view type, const std::uint8_t* data, std::size_t length) {
    std::uint8_t head[8];
    putBigEndian(head, static_cast<std::uint32_t>(length));
    std::memcpy(head + 4, type.data(), 4);
    std::uint32_t crc = crc32_gzip_refl(0, head + 4, 4);
    if (length > 0) crc = crc32_gzip_refl(crc, data, length);
    std::uint8_t tail[4];
    putBigEndian(tail, crc);
    return raw(head, sizeof head) && (length == 0 || raw(data, length)) && raw(tail, sizeof tail);
  }

 private:
  cairo_write_func_t write_;
  void* closure_;
  bool ok_ = true;
};

std::uint32_t pixelAt(const unsigned char* row, int x) {
  std::uint32_t pixel;
  std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, sizeof pixel);
  return pixel;
}

// Premultiplied native-endian ARGB as straight RGBA (alpha unchanged), with
// Cairo's rounding.
void straightRgba(std::uint32_t pixel, std::uint8_t* out) {
  const std::uint32_t alpha = pixel >> 24;
  std::uint32_t r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
  if (alpha == 0) {
    r = g = b = 0;
  } else if (alpha != 0xFF) {
    r = (r * 255 + alpha / 2) / alpha;
    g = (g * 255 + alpha / 2) / alpha;
    b = (b * 255 + alpha / 2) / alpha;
  }
  out[0] = static_cast<std::uint8_t>(r);
  out[1] = static_cast<std::uint8_t>(g);
  out[2] = static_cast<std::uint8_t>(b);
  out[3] = static_cast<std::uint8_t>(alpha);
}

// One row of premultiplied ARGB as straight RGBA, `out` the row itself or
// another. Each pixel is read before it is written. Most pixels of a widget are
// opaque or fully transparent: with SSE2, four of those at a time only
// trade their red and blue bytes (or stay zero).
void convertRow(const unsigned char* row, int width, std::uint8_t* out) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i greenAlpha = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  for (; x + 4 <= width; x += 4) {
    const __m128i pixels =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + static_cast<std::size_t>(x) * 4));
    const __m128i alpha = _mm_and_si128(pixels, alphaMask);
    std::uint8_t* target = out + static_cast<std::size_t>(x) * 4;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphaMask)) == 0xFFFF) {
      const __m128i red = _mm_and_si128(_mm_srli_epi32(pixels, 16), lowByte);
      const __m128i blue = _mm_slli_epi32(_mm_and_si128(pixels, lowByte), 16);
      const __m128i rgba = _mm_or_si128(_mm_and_si128(pixels, greenAlpha), _mm_or_si128(red, blue));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target), rgba);
    } else if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_setzero_si128())) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target), _mm_setzero_si128());
    } else {
      for (int i = 0; i < 4; ++i) straightRgba(pixelAt(row, x + i), target + i * 4);
    }
  }
#endif
  for (; x < width; ++x) straightRgba(pixelAt(row, x), out + static_cast<std::size_t>(x) * 4);
}

// Writes the signature, the header, the rows as `fillRow(y, row)` fills them
// (after the filter byte: type 0, none) deflated by ISA-L at level 1 in a
// zlib wrapper, and the end. Level 1 is as fast as its level 0 on a widget,
// and a third smaller.
template <class FillRow>
cairo_status_t writeRows(ChunkWriter& out, int width, int height, std::uint8_t bitDepth,
                         std::uint8_t colorType, std::size_t sampleBytes, FillRow fillRow) {
  std::uint8_t header[13] = {};
  putBigEndian(header, static_cast<std::uint32_t>(width));
  putBigEndian(header + 4, static_cast<std::uint32_t>(height));
  header[8] = bitDepth;  // compression, filter and interlace methods stay 0
  header[9] = colorType;
  if (!out.raw(kSignature, sizeof kSignature) || !out.chunk("IHDR", header, sizeof header))
    return CAIRO_STATUS_WRITE_ERROR;

  const std::size_t rowBytes = 1 + sampleBytes;
  // Uninitialised on purpose: ISA-L sets up what it reads of its buffer, and
  // rows are written before they are read.
  const auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(rowBytes * kRowsPerBatch);
  const auto levelBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(ISAL_DEF_LVL1_DEFAULT);
  const auto idat = std::make_unique_for_overwrite<std::uint8_t[]>(kIdatBytes);
  isal_zstream stream{};
  isal_deflate_init(&stream);
  stream.level = 1;
  stream.level_buf = levelBuffer.get();
  stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
  stream.gzip_flag = IGZIP_ZLIB;
  stream.next_out = idat.get();
  stream.avail_out = static_cast<std::uint32_t>(kIdatBytes);
  const auto flushIdat = [&] {
    const std::size_t filled = kIdatBytes - stream.avail_out;
    stream.next_out = idat.get();
    stream.avail_out = static_cast<std::uint32_t>(kIdatBytes);
    return filled == 0 || out.chunk("IDAT", idat.get(), filled);
  };
  for (int y = 0; y < height;) {
    const int batch = std::min(kRowsPerBatch, height - y);
    for (int i = 0; i < batch; ++i, ++y) {
      std::uint8_t* row = rows.get() + static_cast<std::size_t>(i) * rowBytes;
      row[0] = 0;
      fillRow(y, row + 1);
    }
    stream.next_in = rows.get();
    stream.avail_in = static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(batch));
    stream.end_of_stream = y == height ? 1 : 0;
    do {
      if (isal_deflate(&stream) != COMP_OK) return CAIRO_STATUS_NO_MEMORY;
      if (stream.avail_out == 0 && !flushIdat()) return CAIRO_STATUS_WRITE_ERROR;
    } while (stream.avail_in > 0 || (stream.end_of_stream && stream.internal_state.state != ZSTATE_END));
  }
  if (!flushIdat() || !out.chunk("IEND", nullptr, 0)) return CAIRO_STATUS_WRITE_ERROR;
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

cairo_status_t writePngStream(cairo_surface_t* surface, cairo_write_func_t write, void* closure) {
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return cairo_surface_status(surface);
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return CAIRO_STATUS_SURFACE_TYPE_MISMATCH;
  if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) return CAIRO_STATUS_INVALID_FORMAT;
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  if (data == nullptr) return CAIRO_STATUS_INVALID_SIZE;
  return writePngStream(
      cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface),
      [&](int y) { return data + static_cast<std::ptrdiff_t>(y) * stride; }, RowPixels::premultipliedArgb,
      write, closure);
}

cairo_status_t writePngStream(int width, int height, const std::function<const unsigned char*(int y)>& row,
                              RowPixels pixels, cairo_write_func_t write, void* closure) {
  if (width <= 0 || height <= 0) return CAIRO_STATUS_INVALID_SIZE;
  ChunkWriter out(write, closure);
  bool rowsThere = true;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  const cairo_status_t status =
      writeRows(out, width, height, 8, kColorTypeRgba, rowBytes, [&](int y, std::uint8_t* into) {
        const unsigned char* given = rowsThere ? row(y) : nullptr;
        rowsThere = given != nullptr;
        if (!rowsThere) return;
        if (pixels == RowPixels::premultipliedArgb)
          convertRow(given, width, into);
        else
          std::memcpy(into, given, rowBytes);
      });
  return rowsThere ? status : CAIRO_STATUS_READ_ERROR;
}

void straightenRow(unsigned char* pixels, int width) { convertRow(pixels, width, pixels); }

cairo_status_t writeGreyPngStream(int width, int height, int bits,
                                  const std::function<const std::uint8_t*(int y)>& greyRow,
                                  cairo_write_func_t write, void* closure) {
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return CAIRO_STATUS_INVALID_FORMAT;
  if (width <= 0 || height <= 0) return CAIRO_STATUS_INVALID_SIZE;
  // Grey to sample: a sample's grey is sample * 255 / maximum, so the greys
  // evenly spaced between black and white at this depth come back exactly.
  const int maximum = (1 << bits) - 1;
  std::array<std::uint8_t, 256> sampleOf;
  for (int grey = 0; grey < 256; ++grey)
    sampleOf[static_cast<std::size_t>(grey)] = static_cast<std::uint8_t>((grey * maximum + 127) / 255);
  const int perByte = 8 / bits, whole = width / perByte, rest = width % perByte;
  ChunkWriter out(write, closure);
  bool rowsThere = true;
  const cairo_status_t status =
      writeRows(out, width, height, static_cast<std::uint8_t>(bits), kColorTypeGrey,
                static_cast<std::size_t>(whole + (rest > 0)), [&](int y, std::uint8_t* row) {
                  const std::uint8_t* pixel = rowsThere ? greyRow(y) : nullptr;
                  rowsThere = pixel != nullptr;
                  if (!rowsThere) return;
                  // Samples packed from the high bit; the last byte's unused bits stay 0.
                  for (int i = 0; i < whole; ++i) {
                    unsigned byte = 0;
                    for (int j = 0; j < perByte; ++j) byte = byte << bits | sampleOf[*pixel++];
                    *row++ = static_cast<std::uint8_t>(byte);
                  }
                  if (rest > 0) {
                    unsigned byte = 0;
                    for (int j = 0; j < rest; ++j) byte = byte << bits | sampleOf[*pixel++];
                    *row = static_cast<std::uint8_t>(byte << (bits * (perByte - rest)));
                  }
                });
  return rowsThere ? status : CAIRO_STATUS_READ_ERROR;
}

}  // namespace kelvo::ui
