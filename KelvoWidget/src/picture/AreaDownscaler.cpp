#include "AreaDownscaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvo::widget {

namespace {
constexpr int kChannels = 4;  // premultiplied R, G, B, A in 0...255
}

AreaDownscaler::AreaDownscaler(int srcWidth, int srcHeight, int dstWidth, int dstHeight, RowOrder order)
    : dstWidth_(dstWidth),
      dstHeight_(dstHeight),
      order_(order),
      columns_(spans(srcWidth, dstWidth)),
      rows_(spans(srcHeight, dstHeight)),
      scratch_(static_cast<std::size_t>(dstWidth) * kChannels),
      accumulator_(static_cast<std::size_t>(dstWidth) * kChannels *
                   static_cast<std::size_t>(order == RowOrder::sequential ? 2 : dstHeight)),
      output_(static_cast<std::size_t>(dstWidth) * static_cast<std::size_t>(dstHeight)) {}

// Source pixel i covers [i, i+1); scaled by dst/src it covers at most two
// destination cells because the scale is at most 1.
std::vector<AreaDownscaler::Span> AreaDownscaler::spans(int srcLength, int dstLength) {
  std::vector<Span> result(static_cast<std::size_t>(srcLength));
  const double scale = static_cast<double>(dstLength) / srcLength;
  for (int i = 0; i < srcLength; ++i) {
    const double begin = i * scale;
    const double end = (i + 1) * scale;
    int first = std::min(static_cast<int>(std::floor(begin)), dstLength - 1);
    Span& span = result[static_cast<std::size_t>(i)];
    span.first = first;
    const double boundary = first + 1;
    if (end > boundary && first + 1 < dstLength) {
      span.weight0 = static_cast<float>(boundary - begin);
      span.weight1 = static_cast<float>(end - boundary);
    } else {
      span.weight0 = static_cast<float>(std::min(end, boundary) - begin);
    }
  }
  return result;
}

float* AreaDownscaler::accumulatorRow(int dstY) {
  const int slot = order_ == RowOrder::sequential ? dstY % 2 : dstY;
  return accumulator_.data() + static_cast<std::size_t>(slot) * dstWidth_ * kChannels;
}

// One straight-alpha pixel added, premultiplied, to the one or two cells of
// the reduced row it covers. The four channels go through the same float
// operations in the same order whether vectorised or not, so both give the
// same sums.
inline void AreaDownscaler::addToCells(const Span& column, const std::uint8_t* p) {
  float* cell = scratch_.data() + static_cast<std::size_t>(column.first) * kChannels;
  const float alpha = p[3];
  const float factor = alpha / 255.0f;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  std::int32_t packed;
  std::memcpy(&packed, p, sizeof packed);
  const __m128i wide = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(packed), zero), zero);
  __m128 premultiplied = _mm_cvtepi32_ps(wide);
  if (p[3] != 255) premultiplied = _mm_mul_ps(premultiplied, _mm_setr_ps(factor, factor, factor, 1.0f));
  _mm_storeu_ps(cell, _mm_add_ps(_mm_loadu_ps(cell), _mm_mul_ps(premultiplied, _mm_set1_ps(column.weight0))));
  if (column.weight1 > 0) {
    _mm_storeu_ps(cell + kChannels, _mm_add_ps(_mm_loadu_ps(cell + kChannels),
                                               _mm_mul_ps(premultiplied, _mm_set1_ps(column.weight1))));
  }
#else
  const float premultiplied[kChannels] = {p[0] * factor, p[1] * factor, p[2] * factor, alpha};
  for (int c = 0; c < kChannels; ++c) cell[c] += premultiplied[c] * column.weight0;
  if (column.weight1 > 0) {
    for (int c = 0; c < kChannels; ++c) cell[kChannels + c] += premultiplied[c] * column.weight1;
  }
#endif
}

void AreaDownscaler::addPixels(int y, int x0, int step, const std::uint8_t* pixels, int count,
                               Layout layout) {
  if (y < 0 || y >= static_cast<int>(rows_.size()) || count <= 0 || step <= 0 || x0 < 0) return;
  const Span row = rows_[static_cast<std::size_t>(y)];
  if (order_ == RowOrder::sequential) emitRowsBefore(row.first);

  std::fill(scratch_.begin(), scratch_.end(), 0.0f);
  const int columns = static_cast<int>(columns_.size());
  const int last = std::min(count, (columns - x0 + step - 1) / step);
  if (layout == Layout::rgba) {
    for (int i = 0; i < last; ++i)
      addToCells(columns_[static_cast<std::size_t>(x0 + i * step)], pixels + static_cast<std::size_t>(i) * 4);
  } else {
    for (int i = 0; i < last; ++i) {
      const std::uint8_t* p = pixels + static_cast<std::size_t>(i) * 3;
      const std::uint8_t rgba[4] = {p[0], p[1], p[2], 255};
      addToCells(columns_[static_cast<std::size_t>(x0 + i * step)], rgba);
    }
  }

  const std::size_t length = scratch_.size();
  float* target = accumulatorRow(row.first);
  for (std::size_t k = 0; k < length; ++k) target[k] += scratch_[k] * row.weight0;
  if (row.weight1 > 0) {
    float* next = accumulatorRow(row.first + 1);
    for (std::size_t k = 0; k < length; ++k) next[k] += scratch_[k] * row.weight1;
  }
}

void AreaDownscaler::emitRowsBefore(int dstY) {
  while (nextRowToEmit_ < dstY && nextRowToEmit_ < dstHeight_) emitRow(nextRowToEmit_++);
}

void AreaDownscaler::emitRow(int dstY) {
  float* source = accumulatorRow(dstY);
  std::uint32_t* out = output_.data() + static_cast<std::size_t>(dstY) * dstWidth_;
  for (int x = 0; x < dstWidth_; ++x) {
    const float* cell = source + static_cast<std::size_t>(x) * kChannels;
    const auto clamp = [](float v, std::uint32_t high) {
      const long rounded = std::lround(v);
      return static_cast<std::uint32_t>(std::clamp<long>(rounded, 0, static_cast<long>(high)));
    };
    const std::uint32_t a = clamp(cell[3], 255);
    const std::uint32_t r = clamp(cell[0], a);
    const std::uint32_t g = clamp(cell[1], a);
    const std::uint32_t b = clamp(cell[2], a);
    out[x] = (a << 24) | (r << 16) | (g << 8) | b;
  }
  // A sequential slot is reused for the row two further down.
  std::fill(source, source + static_cast<std::size_t>(dstWidth_) * kChannels, 0.0f);
}

ui::Bitmap AreaDownscaler::finish() {
  if (order_ == RowOrder::sequential) {
    emitRowsBefore(dstHeight_);
  } else {
    for (int y = 0; y < dstHeight_; ++y) emitRow(y);
  }
  ui::Bitmap bitmap;
  bitmap.width = dstWidth_;
  bitmap.height = dstHeight_;
  bitmap.pixels = std::make_shared<const std::vector<std::uint32_t>>(std::move(output_));
  return bitmap;
}

}  // namespace kelvo::widget
