#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kelvo::ui {

// A decoded picture, ready to draw: 32-bit pixels in Cairo's ARGB32 layout
// (premultiplied alpha, native byte order), rows packed without padding.
// Copies share the pixels, so views holding a bitmap stay cheap to copy.
struct Bitmap {
  int width = 0;                                             // in pixels
  int height = 0;                                            // in pixels
  std::shared_ptr<const std::vector<std::uint32_t>> pixels;  // width * height values, row by row

  bool empty() const { return width <= 0 || height <= 0 || !pixels; }
};

}  // namespace kelvo::ui
