#pragma once

// What the PNG and JPEG decoders share: the input they read from and the
// size rules of a car picture.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "KelvoWidget/CarPicture.h"

namespace kelvo::widget::picture {

struct Size {
  int width = 0;
  int height = 0;
};

// Longer side at most maxPixelSize, aspect kept, never enlarged.
Size thumbnailSize(std::uint32_t width, std::uint32_t height, int maxPixelSize);

// Refuses a picture declaring no pixels or more than the limits allow.
Status checkDeclaredSize(std::uint64_t width, std::uint64_t height, const CarPictureLimits& limits);

// A picture source read through one fixed buffer. A read failure ends the
// input as if the picture had ended there; `failure()` then tells why.
class PictureInput {
 public:
  explicit PictureInput(PictureSource& source);

  // At least `count` bytes ahead (fewer only at the end), without consuming them.
  std::span<const std::uint8_t> peek(std::size_t count);
  // The next buffered bytes (refilled when empty; empty at the end), consumed.
  std::span<const std::uint8_t> next(std::size_t max = SIZE_MAX);
  // Exactly `count` bytes into `out`, or false at the end.
  bool readExactly(std::uint8_t* out, std::size_t count);
  // Skips `count` bytes; false when the input ends first.
  bool skip(std::size_t count);
  const std::optional<Error>& failure() const { return failure_; }

 private:
  bool fill();

  PictureSource& source_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
  std::optional<Error> failure_;
};

// Both PNG decoders keep ancillary chunks (EXIF, text, ICC profiles) in
// memory; these bound them. Image data is streamed and not subject to them.
inline constexpr std::size_t kMaxPngChunkBytes = 4u << 20;
inline constexpr int kMaxPngChunkCount = 1000;

Result<ui::Bitmap> decodePng(PictureInput& input, const CarPictureLimits& limits);
// 8-bit RGB or RGBA PNGs without interlacing, the common kind, judged by the
// first 33 bytes; decodePlainPng decodes them faster than decodePng.
bool isPlainPng(std::span<const std::uint8_t> head);
Result<ui::Bitmap> decodePlainPng(PictureInput& input, const CarPictureLimits& limits);
Result<ui::Bitmap> decodeJpeg(PictureInput& input, const CarPictureLimits& limits);

}  // namespace kelvo::widget::picture
