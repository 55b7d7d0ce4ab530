#pragma once

#include <cstdint>
#include <vector>

#include "KelvoUI/Bitmap.h"

namespace kelvo::widget {

// Shrinks a picture that arrives row by row (or scanline by scanline, for
// interlaced PNG passes) by area averaging: every destination pixel is the
// coverage-weighted mean of the source pixels under it. Averages are taken
// over premultiplied colour so transparent pixels leave no dark fringes.
//
// In sequential order only two destination rows are held, so the working
// set does not grow with the source; any order keeps the whole destination.
class AreaDownscaler {
 public:
  enum class RowOrder { sequential, any };
  enum class Layout { rgba, rgb };  // 8-bit straight-alpha RGBA, or opaque RGB

  // dstWidth <= srcWidth and dstHeight <= srcHeight, all > 0.
  AreaDownscaler(int srcWidth, int srcHeight, int dstWidth, int dstHeight, RowOrder order);

  // Adds `count` pixels of source row `y`, at columns x0, x0 + step, ...
  // Sequential order needs rows with non-decreasing y.
  void addPixels(int y, int x0, int step, const std::uint8_t* pixels, int count, Layout layout);

  // The destination picture; call once, after every source row.
  ui::Bitmap finish();

 private:
  struct Span {
    int first = 0;      // first destination index covered
    float weight0 = 0;  // share of the source pixel in `first`
    float weight1 = 0;  // share in `first + 1` (0 when it lies inside one)
  };
  static std::vector<Span> spans(int srcLength, int dstLength);
  void addToCells(const Span& column, const std::uint8_t* rgba);
  float* accumulatorRow(int dstY);
  void emitRowsBefore(int dstY);
  void emitRow(int dstY);

  int dstWidth_;
  int dstHeight_;
  RowOrder order_;
  std::vector<Span> columns_;
  std::vector<Span> rows_;
  std::vector<float> scratch_;      // one source row reduced horizontally
  std::vector<float> accumulator_;  // 2 destination rows, or all of them
  int nextRowToEmit_ = 0;
  std::vector<std::uint32_t> output_;
};

}  // namespace kelvo::widget
