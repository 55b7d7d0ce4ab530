#include "GreyPng.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvo::serve {

namespace {

void putBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// Length, type, data, and the CRC of type and data.
void chunk(std::string& out, const char (&type)[5], const std::uint8_t* data, std::size_t length) {
  putBigEndian(out, static_cast<std::uint32_t>(length));
  const std::size_t typeAt = out.size();
  out.append(type, 4);
  out.append(reinterpret_cast<const char*>(data), length);
  putBigEndian(out,
               crc32_gzip_refl(0, reinterpret_cast<const std::uint8_t*>(out.data() + typeAt), length + 4));
}

int bitsFor(int levels) {
  if (levels <= 2) return 1;
  if (levels <= 4) return 2;
  if (levels <= 16) return 4;
  return 8;
}

}  // namespace

Result<std::string> encodeGreyPng(const GreyImage& image, int levels) {
  const int bits = bitsFor(levels);
  const int maximum = (1 << bits) - 1;
  // Grey to sample: the sample's grey is sample * 255 / maximum, and the
  // levels are exactly those greys.
  std::array<std::uint8_t, 256> sampleOf;
  for (int grey = 0; grey < 256; ++grey)
    sampleOf[static_cast<std::size_t>(grey)] = static_cast<std::uint8_t>(std::lround(grey * maximum / 255.0));

  // Rows with filter type 0 (none) in front, samples packed from the high bit.
  const std::size_t rowBytes =
      1 + (static_cast<std::size_t>(image.width) * static_cast<std::size_t>(bits) + 7) / 8;
  std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(image.height), 0);
  for (int y = 0; y < image.height; ++y) {
    std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * rowBytes + 1;
    const std::uint8_t* pixels =
        image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width);
    for (int x = 0; x < image.width; ++x) {
      const int bit = x * bits;
      row[bit / 8] |= static_cast<std::uint8_t>(sampleOf[pixels[x]] << (8 - bits - bit % 8));
    }
  }

  // zlib-wrapped deflate at ISA-L's level 1, as the renderer's encoder does.
  // Deflate adds a few bytes a block to what it cannot compress.
  std::vector<std::uint8_t> compressed(rows.size() + rows.size() / 8 + 1024);
  const auto levelBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(ISAL_DEF_LVL1_DEFAULT);
  isal_zstream stream{};
  isal_deflate_init(&stream);
  stream.level = 1;
  stream.level_buf = levelBuffer.get();
  stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
  stream.gzip_flag = IGZIP_ZLIB;
  stream.end_of_stream = 1;
  stream.next_in = rows.data();
  stream.avail_in = static_cast<std::uint32_t>(rows.size());
  stream.next_out = compressed.data();
  stream.avail_out = static_cast<std::uint32_t>(compressed.size());
  if (isal_deflate(&stream) != COMP_OK || stream.internal_state.state != ZSTATE_END)
    return Error{"compressing the PNG failed"};

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  putBigEndian(header, static_cast<std::uint32_t>(image.width));
  putBigEndian(header, static_cast<std::uint32_t>(image.height));
  header += {static_cast<char>(bits), '\0', '\0', '\0', '\0'};  // grey; deflate, no filters, no interlace
  chunk(png, "IHDR", reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
  chunk(png, "IDAT", compressed.data(), compressed.size() - stream.avail_out);
  chunk(png, "IEND", nullptr, 0);
  return png;
}

}  // namespace kelvo::serve
