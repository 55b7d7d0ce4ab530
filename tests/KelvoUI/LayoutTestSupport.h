#pragma once

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <variant>
#include <vector>

#include "KelvoUI/KelvoUI.h"
#include "KelvoUI/Layout.h"
#include "KelvoUI/TextMeasurer.h"

namespace kelvo::ui::testing {

// Lays a view out in a w x h box at the origin with the fixed-advance
// measurer: every character is half its font size wide.
inline LaidOutNode lay(const View& view, double w, double h, const Environment& env = {}) {
  FixedAdvanceTextMeasurer measurer;
  return layoutView(view, {0, 0, w, h}, env, measurer);
}

// The node reached by following child indices from `root`.
inline const LaidOutNode& at(const LaidOutNode& root, std::initializer_list<size_t> path) {
  const LaidOutNode* node = &root;
  for (size_t i : path) node = &node->children.at(i);
  return *node;
}

// What a node draws, when it is a text (or a symbol); null otherwise.
inline const TextDrawing* textOf(const LaidOutNode& node) { return std::get_if<TextDrawing>(&node.drawing); }
inline const SymbolDrawing* symbolOf(const LaidOutNode& node) {
  return std::get_if<SymbolDrawing>(&node.drawing);
}

// A PNG decoded by Cairo: premultiplied ARGB words, row by row; no pixels
// when it does not decode.
struct Png {
  explicit Png(std::string_view png) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
          auto& rest = *static_cast<std::string_view*>(closure);
          if (rest.size() < length) return CAIRO_STATUS_READ_ERROR;
          std::memcpy(data, rest.data(), length);
          rest.remove_prefix(length);
          return CAIRO_STATUS_SUCCESS;
        },
        &png);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
      width = cairo_image_surface_get_width(surface);
      height = cairo_image_surface_get_height(surface);
      for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface) +
                                                                 y * cairo_image_surface_get_stride(surface));
        pixels.insert(pixels.end(), row, row + width);
      }
    }
    cairo_surface_destroy(surface);
  }
  // Transparent outside the image.
  std::uint32_t at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height
               ? 0
               : pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
  }
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

}  // namespace kelvo::ui::testing
