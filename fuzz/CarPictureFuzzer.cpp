// Feeds arbitrary bytes to the car picture decoder (PNG, JPEG, EXIF) and to
// the EXIF orientation reader. A crash, a sanitizer report, a broken
// invariant, a hang (-timeout) or a memory blowup (-rss_limit_mb) is a finding.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "KelvoWidget/CarPicture.h"
#include "KelvoWidget/ExifOrientation.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const kelvo::widget::CarPictureLimits limits;

  const auto picture = kelvo::widget::decodeCarPicture(bytes, limits);
  if (picture) {
    // A thumbnail within the limit, every pixel premultiplied.
    check(picture->width > 0 && picture->height > 0);
    check(picture->width <= limits.maxPixelSize && picture->height <= limits.maxPixelSize);
    check(picture->pixels &&
          picture->pixels->size() == static_cast<std::size_t>(picture->width) * picture->height);
    for (std::uint32_t pixel : *picture->pixels) {
      const std::uint32_t alpha = pixel >> 24;
      check((pixel >> 16 & 0xFF) <= alpha && (pixel >> 8 & 0xFF) <= alpha && (pixel & 0xFF) <= alpha);
    }
  } else {
    check(!picture.error().message.empty());
  }

  if (const auto orientation = kelvo::widget::exifOrientation(bytes))
    check(*orientation >= 1 && *orientation <= 8);
  return 0;
}
