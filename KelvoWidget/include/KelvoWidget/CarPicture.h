#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "KelvoBase/Result.h"
#include "KelvoUI/Bitmap.h"

namespace kelvo::widget {

// What a car picture may be, how large its thumbnail is, and how much work
// decoding one may take.
struct CarPictureLimits {
  int maxPixelSize = 800;                      // longest side of the thumbnail, in pixels
  std::uint64_t maxSourcePixels = 50'000'000;  // pictures declaring more are refused unread
  std::uint32_t maxSourceSide = 65535;         // so is a picture with a longer side, in pixels
  int maxJpegScans = 64;                       // a JPEG with more scans is refused
  std::size_t maxJpegMemory = 35u << 20;       // bytes libjpeg may hold (a progressive JPEG's coefficients)
};

// Where the picture's bytes come from, front to back.
class PictureSource {
 public:
  virtual ~PictureSource() = default;
  // Up to `size` bytes into `buffer`; 0 at the end.
  virtual Result<std::size_t> read(std::uint8_t* buffer, std::size_t size) = 0;
};

// Decodes a car picture, PNG or JPEG, into an upright thumbnail whose longer
// side is at most `limits.maxPixelSize` (aspect kept, never enlarged). Other
// formats are refused: a car picture is a photo or a drawing saved as one of
// the two.
//
// Neither the file nor the full-size image is ever held whole: the bytes are
// read in pieces; PNG is decoded row by row with libspng straight into an
// area-averaging downscaler; JPEG is decoded row by row with libjpeg, scaled
// by its DCT to the smallest size not below the thumbnail, then
// area-averaged. A progressive JPEG's coefficients must fit
// `limits.maxJpegMemory` and its scans `limits.maxJpegScans`. Orientation
// comes from the PNG's eXIf chunk or the JPEG's EXIF segment. Never throws;
// any failure is an error.
Result<ui::Bitmap> decodeCarPicture(PictureSource& source, const CarPictureLimits& limits = {});
Result<ui::Bitmap> decodeCarPicture(std::span<const std::uint8_t> bytes, const CarPictureLimits& limits = {});

}  // namespace kelvo::widget
