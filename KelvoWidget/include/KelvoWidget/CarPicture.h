#pragma once

#include <cstdint>
#include <span>

#include "KelvoShared/Result.h"
#include "KelvoUI/Bitmap.h"

namespace kelvo::widget {

// What a car picture may be, and how large its thumbnail is.
struct CarPictureLimits {
  int maxPixelSize = 800;                      // longest side of the thumbnail, in pixels
  std::uint64_t maxSourcePixels = 50'000'000;  // pictures declaring more are refused unread
  std::uint32_t maxSourceSide = 65535;         // so is a picture with a longer side, in pixels
};

// Decodes the bytes of a car picture into an upright thumbnail whose longer
// side is at most `limits.maxPixelSize` (aspect kept, never enlarged).
//
// The full-size image is never held: PNG is decoded row by row with libspng
// straight into an area-averaging downscaler; JPEG is decoded by GdkPixbuf
// with libjpeg's DCT scaling to the smallest size not below the thumbnail,
// then area-averaged; other formats GdkPixbuf reads are decoded whole and
// area-averaged. Orientation comes from the PNG's eXIf chunk or the JPEG's
// EXIF data. Never throws; any failure is an error.
Result<ui::Bitmap> decodeCarPicture(std::span<const std::uint8_t> bytes, const CarPictureLimits& limits = {});

}  // namespace kelvo::widget
