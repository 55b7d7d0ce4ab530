#include "KelvoWidget/ExifOrientation.h"

#include <cstring>
#include <memory>
#include <vector>

namespace kelvo::widget {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntrySize = 12;

// Reads TIFF integers in the block's own byte order; every read is checked
// against the end of the block by the caller.
struct TiffReader {
  std::span<const std::uint8_t> data;
  bool bigEndian = false;

  bool has(std::size_t offset, std::size_t length) const {
    return offset <= data.size() && length <= data.size() - offset;
  }
  std::uint16_t u16(std::size_t offset) const {
    const std::uint8_t a = data[offset];
    const std::uint8_t b = data[offset + 1];
    return static_cast<std::uint16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  }
  std::uint32_t u32(std::size_t offset) const {
    const std::uint32_t hi = u16(offset);
    const std::uint32_t lo = u16(offset + 2);
    return bigEndian ? (hi << 16) | lo : (lo << 16) | hi;
  }
};

}  // namespace

std::optional<int> exifOrientation(std::span<const std::uint8_t> exif) {
  static constexpr std::uint8_t kExifPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
  if (exif.size() >= sizeof kExifPrefix && std::memcmp(exif.data(), kExifPrefix, sizeof kExifPrefix) == 0) {
    exif = exif.subspan(sizeof kExifPrefix);
  }
  TiffReader reader{exif};
  if (!reader.has(0, 8)) return std::nullopt;
  if (exif[0] == 'M' && exif[1] == 'M') {
    reader.bigEndian = true;
  } else if (!(exif[0] == 'I' && exif[1] == 'I')) {
    return std::nullopt;
  }
  if (reader.u16(2) != 42) return std::nullopt;

  const std::size_t ifd = reader.u32(4);
  if (ifd < 8 || !reader.has(ifd, 2)) return std::nullopt;
  const std::size_t count = reader.u16(ifd);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = ifd + 2 + i * kEntrySize;
    if (!reader.has(entry, kEntrySize)) return std::nullopt;
    if (reader.u16(entry) != kOrientationTag) continue;
    if (reader.u16(entry + 2) != kTypeShort || reader.u32(entry + 4) < 1) return std::nullopt;
    const int value = reader.u16(entry + 8);  // a single SHORT sits left-aligned in the value field
    if (value < 1 || value > 8) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

ui::Bitmap applyOrientation(const ui::Bitmap& stored, int orientation) {
  if (stored.empty() || orientation < 2 || orientation > 8) return stored;
  const int w = stored.width;
  const int h = stored.height;
  const bool swapsSides = orientation >= 5;
  const int outWidth = swapsSides ? h : w;
  const int outHeight = swapsSides ? w : h;
  const std::vector<std::uint32_t>& in = *stored.pixels;
  std::vector<std::uint32_t> out(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight));
  for (int v = 0; v < outHeight; ++v) {
    for (int u = 0; u < outWidth; ++u) {
      // (x, y): where the upright pixel (u, v) is in the stored picture.
      int x = u;
      int y = v;
      switch (orientation) {
        case 2:
          x = w - 1 - u;
          y = v;
          break;
        case 3:
          x = w - 1 - u;
          y = h - 1 - v;
          break;
        case 4:
          x = u;
          y = h - 1 - v;
          break;
        case 5:
          x = v;
          y = u;
          break;
        case 6:
          x = v;
          y = h - 1 - u;
          break;
        case 7:
          x = w - 1 - v;
          y = h - 1 - u;
          break;
        case 8:
          x = w - 1 - v;
          y = u;
          break;
        default:
          break;
      }
      out[static_cast<std::size_t>(v) * outWidth + u] = in[static_cast<std::size_t>(y) * w + x];
    }
  }
  ui::Bitmap result;
  result.width = outWidth;
  result.height = outHeight;
  result.pixels = std::make_shared<const std::vector<std::uint32_t>>(std::move(out));
  return result;
}

}  // namespace kelvo::widget
