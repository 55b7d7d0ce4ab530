#pragma once

#include <cairo.h>

#include <cstring>
#include <initializer_list>
#include <string_view>
#include <variant>

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

// A PNG decoded by Cairo into premultiplied ARGB words; the caller owns the surface, which is in an
// error state when the PNG does not decode.
inline cairo_surface_t* decodePng(std::string_view png) {
  return cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto& rest = *static_cast<std::string_view*>(closure);
        if (rest.size() < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, rest.data(), length);
        rest.remove_prefix(length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
}

}  // namespace kelvo::ui::testing
