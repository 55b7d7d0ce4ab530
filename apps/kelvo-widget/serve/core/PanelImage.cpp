#include "PanelImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "KelvoUI/PngImage.h"
#include "KelvoUI/Style.h"

namespace kelvo::serve {

namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

// A quarter turn clockwise in image coordinates (y down) takes (1, 0) to (0, 1).
struct Turn {
  double xx, xy, yx, yy;
};
Turn turnFor(int rotate) {
  switch (rotate) {
    case 90:
      return {0, -1, 1, 0};
    case 180:
      return {-1, 0, 0, -1};
    case 270:
      return {0, 1, -1, 0};
    default:
      return {1, 0, 0, 1};
  }
}

bool quarterTurn(int rotate) { return rotate == 90 || rotate == 270; }

int nearestLevel(double value, int levels) {
  const double step = 255.0 / (levels - 1);
  return static_cast<int>(std::clamp(std::lround(value / step), 0L, static_cast<long>(levels - 1)));
}

std::uint8_t levelGrey(int level, int levels) {
  return static_cast<std::uint8_t>(std::lround(level * 255.0 / (levels - 1)));
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

PixelSize panelSize(ui::Size widget, const WidgetQuery& query) {
  const Panel& panel = query.panel;
  if (panel.width && panel.height) return {*panel.width, *panel.height};
  PixelSize size{static_cast<int>(std::ceil(widget.width * query.scale)),
                 static_cast<int>(std::ceil(widget.height * query.scale))};
  if (quarterTurn(panel.rotate)) std::swap(size.width, size.height);
  return size;
}

cairo_matrix_t panelMatrix(ui::Size widget, PixelSize image, int rotate, std::optional<double> scale) {
  const bool turned = quarterTurn(rotate);
  const double footprintWidth = turned ? widget.height : widget.width;
  const double footprintHeight = turned ? widget.width : widget.height;
  const double s = scale.value_or(std::min(image.width / footprintWidth, image.height / footprintHeight));
  const Turn t = turnFor(rotate);
  // The widget's centre goes to the image's centre.
  cairo_matrix_t m;
  const double xx = s * t.xx, xy = s * t.xy, yx = s * t.yx, yy = s * t.yy;
  const double cx = widget.width / 2, cy = widget.height / 2;
  cairo_matrix_init(&m, xx, yx, xy, yy, image.width / 2.0 - (xx * cx + xy * cy),
                    image.height / 2.0 - (yx * cx + yy * cy));
  return m;
}

void greyRow(const unsigned char* argb, int width, std::uint8_t* grey) {
  // 0.2126, 0.7152, 0.0722 in 1/256ths, summing to 256.
  constexpr int kRed = 54, kGreen = 183, kBlue = 19;
  int x = 0;
#if defined(__SSE2__)
  // Eight pixels at a time: blue and red, then green and alpha, as pairs of
  // 16-bit lanes that one multiply-add each weighs and sums.
  const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
  const __m128i blueRed = _mm_set1_epi32(kRed << 16 | kBlue), greenAlpha = _mm_set1_epi32(kGreen);
  const __m128i half = _mm_set1_epi32(128);
  const auto luma = [&](const unsigned char* pixels) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(p, lowBytes), blueRed),
                      _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), lowBytes), greenAlpha));
    return _mm_srli_epi32(_mm_add_epi32(sum, half), 8);
  };
  for (; x + 8 <= width; x += 8) {
    const __m128i words = _mm_packs_epi32(luma(argb + x * 4), luma(argb + x * 4 + 16));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(grey + x), _mm_packus_epi16(words, words));
  }
#endif
  for (; x < width; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, argb + static_cast<std::ptrdiff_t>(x) * 4, sizeof pixel);
    const std::uint32_t r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
    grey[x] = static_cast<std::uint8_t>((kRed * r + kGreen * g + kBlue * b + 128) >> 8);
  }
}

namespace {

// Greys stretched so that `background`, the widget's own, becomes the
// paper: white in the light appearance, black in the dark one. Otherwise a
// panel shows the background's light grey as a dither of scattered dots.
std::array<std::uint8_t, 256> onPaper(ui::Appearance appearance, std::uint8_t background) {
  const bool dark = appearance == ui::Appearance::dark;
  const double paper = dark ? std::min<double>(background, 254) : std::max<double>(background, 1);
  std::array<std::uint8_t, 256> stretched;
  for (int grey = 0; grey < 256; ++grey) {
    const double value = dark ? (grey - paper) * 255 / (255 - paper) : grey * 255 / paper;
    stretched[static_cast<std::size_t>(grey)] =
        static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
  }
  return stretched;
}

// A drawn grey's way to a level's: put on paper, then the nearest level's
// grey for each grey a pixel can want.
struct GreyLevels {
  std::array<std::uint8_t, 256> paper;
  std::array<std::uint8_t, 256> nearest;
};

// One row of error diffusion, in sixteenths of a grey step. `below` and
// `further` collect the errors for the next two rows; those for the next
// pixels of this row stay in registers, since each pixel waits for the one
// before it (integers keep that chain short).
template <Dither method>
struct RowDiffusion {
  std::uint8_t* pixels;
  const std::int32_t* carried;
  std::int32_t* below;
  std::int32_t* further;
  std::int32_t right = 0, rightAfter = 0;

  void pixel(int x, const GreyLevels& levels) {
    // What the pixel wants, kept within black and white so that error
    // cannot pile up beyond what a level can pay back.
    const std::int32_t wanted =
        std::min(std::max(levels.paper[pixels[x]] * 16 + carried[x] + right, 0), 255 * 16);
    pixels[x] = levels.nearest[static_cast<std::size_t>((wanted + 8) >> 4)];
    const std::int32_t error = wanted - pixels[x] * 16;
    if constexpr (method == Dither::floydSteinberg) {
      // 7/16 on, 3/16, 5/16 and 1/16 below; the last takes what rounding
      // left, so no error is lost.
      right = (error * 7) >> 4;
      const std::int32_t left = (error * 3) >> 4, under = (error * 5) >> 4;
      below[x - 1] += left;
      below[x] += under;
      below[x + 1] += error - right - left - under;
    } else if constexpr (method == Dither::atkinson) {
      // Three quarters of the error go on, an eighth to each of six
      // neighbours: highlights and shadows stay clean.
      const std::int32_t eighth = error >> 3;
      right = rightAfter + eighth;
      rightAfter = eighth;
      below[x - 1] += eighth;
      below[x] += eighth;
      below[x + 1] += eighth;
      further[x] += eighth;
    }
  }
};

// Rows diffused side by side, each two pixels behind the one above: a
// pixel's error reaches the next row no further than one pixel to its
// right, so the lower row has all it needs, and the processor overlaps the
// rows' chains where one row would leave it waiting on each pixel. The
// result is the same as row after row.
constexpr int kRowsAtOnce = 4;
constexpr int kLag = 2;
// The errors carried into the rows being diffused and the two after them,
// with room for the neighbours past either edge; the buffers take turns.
constexpr int kErrorRows = kRowsAtOnce + 2;
constexpr int kMargin = 2;

// Diffuses `rows` rows of `width` greys, one after another in `batch`, that
// are the image's rows from `y` on.
template <Dither method>
void diffuseRows(std::uint8_t* batch, int width, int y, int rows, const GreyLevels& levels,
                 std::array<std::vector<std::int32_t>, kErrorRows>& errors) {
  const auto errorRow = [&](int row) {
    return errors[static_cast<std::size_t>(row % kErrorRows)].data() + kMargin;
  };
  std::array<RowDiffusion<method>, kRowsAtOnce> at;
  for (int k = 0; k < rows; ++k)
    at[static_cast<std::size_t>(k)] = {batch + static_cast<std::size_t>(k) * static_cast<std::size_t>(width),
                                       errorRow(y + k), errorRow(y + k + 1), errorRow(y + k + 2)};
  if (rows < kRowsAtOnce) {
    for (int k = 0; k < rows; ++k)
      for (int x = 0; x < width; ++x) at[static_cast<std::size_t>(k)].pixel(x, levels);
    return;
  }
  const auto some = [&](int x) {
    for (int k = 0; k < kRowsAtOnce; ++k)
      if (const int own = x - kLag * k; own >= 0 && own < width)
        at[static_cast<std::size_t>(k)].pixel(own, levels);
  };
  constexpr int kBehind = kLag * (kRowsAtOnce - 1);
  int x = 0;
  for (; x < std::min(kBehind, width); ++x) some(x);
  // The rows apart, so that their running errors stay in registers.
  static_assert(kRowsAtOnce == 4);
  auto [first, second, third, fourth] = at;
  for (; x < width; ++x) {
    first.pixel(x, levels);
    second.pixel(x - kLag, levels);
    third.pixel(x - 2 * kLag, levels);
    fourth.pixel(x - 3 * kLag, levels);
  }
  at = {first, second, third, fourth};
  for (; x < width + kBehind; ++x) some(x);
}

// The most pixel bytes a band holds: well within kHeapDrawingBytes, and
// small, since a thread's heap grows with the largest drawing it has made
// and every page it grows by is a fresh one. A band costs a paint of the
// widget, of which little is left where its text is out of the band.
constexpr std::size_t kBandBytes = 1u << 20;

// The image drawn in horizontal bands of one surface, each within
// kBandBytes, as its rows are asked for. A surface over kHeapDrawingBytes
// would get pages of its own, which the kernel maps and clears on every
// drawing (on the development machine 20 ms for a Kindle's 6 MB), where the
// heap's are there already.
class BandedDrawing {
 public:
  using Paint = std::function<std::optional<Error>(cairo_t*)>;

  // `paint` draws the whole image in its pixels.
  BandedDrawing(PixelSize size, Paint paint) : paint_(std::move(paint)) {
    const std::size_t bytes =
        static_cast<std::size_t>(size.width) * 4 * static_cast<std::size_t>(size.height);
    const std::size_t bands = std::max<std::size_t>(1, (bytes + kBandBytes - 1) / kBandBytes);
    rows_ = static_cast<int>((static_cast<std::size_t>(size.height) + bands - 1) / bands);
    // An even number, so that every band starts at an even row: Cairo
    // rounds glyphs at half-pixel positions differently in a band that
    // starts at an odd one (at 1.5x a line of text moved by a pixel).
    rows_ += rows_ % 2;
    band_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.width, rows_));
    if (cairo_surface_status(band_.get()) != CAIRO_STATUS_SUCCESS)
      error_ = Error{"the image would be too large"};
  }

  // Row y's ARGB32 pixels, valid until a row of another band is asked
  // for. Null once drawing failed.
  const unsigned char* row(int y) {
    if (error_) return nullptr;
    if (!drawn_ || y < top_ || y >= top_ + rows_) {
      const std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(band_.get()));
      if (drawn_) {
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr.get());
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
      }
      top_ = y - y % rows_;
      drawn_ = true;
      cairo_translate(cr.get(), 0, -top_);
      if ((error_ = paint_(cr.get()))) return nullptr;
      cairo_surface_flush(band_.get());
    }
    return cairo_image_surface_get_data(band_.get()) +
           static_cast<std::ptrdiff_t>(y - top_) * cairo_image_surface_get_stride(band_.get());
  }

  // The ARGB32 pixel at (x, y), drawn on its own (in a two-row strip
  // starting at an even row, as the bands do).
  Result<std::uint32_t> pixel(int x, int y) const {
    const std::unique_ptr<cairo_surface_t, SurfaceDeleter> strip(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 2));
    const std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(strip.get()));
    cairo_translate(cr.get(), -x, -(y - y % 2));
    if (std::optional<Error> failed = paint_(cr.get())) return *failed;
    cairo_surface_flush(strip.get());
    std::uint32_t pixel;
    std::memcpy(
        &pixel,
        cairo_image_surface_get_data(strip.get()) + (y % 2) * cairo_image_surface_get_stride(strip.get()),
        sizeof pixel);
    return pixel;
  }

  const std::optional<Error>& error() const { return error_; }

 private:
  Paint paint_;
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> band_;
  int rows_ = 1, top_ = 0;
  bool drawn_ = false;
  std::optional<Error> error_;
};

int bitsFor(int levels) { return levels <= 2 ? 1 : levels <= 4 ? 2 : levels <= 16 ? 4 : 8; }

// The image's greys a few rows at a time, as the encoders ask for them
// from the top: each drawn, made grey, put on paper and, with levels,
// diffused to them. No whole grey image is ever kept.
class PanelGreys {
 public:
  // `levels` 0 keeps every grey.
  PanelGreys(BandedDrawing& drawing, int width, std::array<std::uint8_t, 256> paper, int levels,
             Dither dither)
      : drawing_(drawing),
        width_(width),
        levels_(levels),
        dither_(dither),
        batch_(static_cast<std::size_t>(width) * kRowsAtOnce) {
    greys_.paper = paper;
    for (int grey = 0; grey < 256; ++grey)
      greys_.nearest[static_cast<std::size_t>(grey)] =
          levels > 0 ? levelGrey(nearestLevel(grey, levels), levels) : grey;
    for (auto& row : errors_) row.assign(static_cast<std::size_t>(width + 2 * kMargin), 0);
  }

  // Row y's greys, asked for top to bottom (the errors carry down), valid
  // until the next batch of rows; null once drawing failed.
  const std::uint8_t* row(int y, int height) {
    if (y >= top_ + kRowsAtOnce || !made_) {
      top_ = y - y % kRowsAtOnce;
      made_ = true;
      if (!make(std::min(kRowsAtOnce, height - top_))) return nullptr;
    }
    return batch_.data() + static_cast<std::size_t>(y - top_) * static_cast<std::size_t>(width_);
  }

 private:
  bool make(int rows) {
    for (int k = 0; k < rows; ++k) {
      const unsigned char* argb = drawing_.row(top_ + k);
      if (!argb) return false;
      greyRow(argb, width_, batch_.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(width_));
    }
    if (levels_ == 0) {
      std::uint8_t* end = batch_.data() + static_cast<std::size_t>(rows) * static_cast<std::size_t>(width_);
      for (std::uint8_t* grey = batch_.data(); grey != end; ++grey) *grey = greys_.paper[*grey];
      return true;
    }
    switch (dither_) {
      case Dither::floydSteinberg:
        diffuseRows<Dither::floydSteinberg>(batch_.data(), width_, top_, rows, greys_, errors_);
        break;
      case Dither::atkinson:
        diffuseRows<Dither::atkinson>(batch_.data(), width_, top_, rows, greys_, errors_);
        break;
      case Dither::none:
        diffuseRows<Dither::none>(batch_.data(), width_, top_, rows, greys_, errors_);
        break;
    }
    // These rows' buffers carry into later rows next.
    for (int k = 0; k < rows; ++k) {
      std::vector<std::int32_t>& used = errors_[static_cast<std::size_t>((top_ + k) % kErrorRows)];
      std::fill(used.begin(), used.end(), 0);
    }
    return true;
  }

  BandedDrawing& drawing_;
  int width_, levels_;
  Dither dither_;
  GreyLevels greys_;
  std::vector<std::uint8_t> batch_;
  std::array<std::vector<std::int32_t>, kErrorRows> errors_;
  int top_ = 0;
  bool made_ = false;
};

// An uncompressed BMP with a grey palette: 1 bit per pixel for 2 levels, 4
// bits for 4 or 16, 8 bits for 256. `greyRow(y)` gives row y's greys, the
// levels' own, asked for from the top; the file keeps its rows bottom-up.
Result<std::string> encodeBmp(int width, int height, int levels,
                              const std::function<const std::uint8_t*(int y)>& greyRow) {
  const int bits = levels == 2 ? 1 : levels <= 16 ? 4 : 8;
  const int paletteSize = 1 << bits;
  const std::uint32_t rowBytes = ((static_cast<std::uint32_t>(width) * bits + 31) / 32) * 4;
  const std::uint32_t dataOffset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteSize);
  const std::uint32_t dataSize = rowBytes * static_cast<std::uint32_t>(height);

  std::string out;
  out.reserve(dataOffset + dataSize);
  out += "BM";
  putLittleEndian(out, dataOffset + dataSize, 4);
  putLittleEndian(out, 0, 4);  // reserved
  putLittleEndian(out, dataOffset, 4);
  putLittleEndian(out, 40, 4);  // BITMAPINFOHEADER
  putLittleEndian(out, static_cast<std::uint32_t>(width), 4);
  putLittleEndian(out, static_cast<std::uint32_t>(height), 4);  // positive: rows bottom-up
  putLittleEndian(out, 1, 2);                                   // planes
  putLittleEndian(out, static_cast<std::uint32_t>(bits), 2);
  putLittleEndian(out, 0, 4);  // BI_RGB: uncompressed
  putLittleEndian(out, dataSize, 4);
  putLittleEndian(out, 2835, 4);  // 72 dpi, in pixels per metre
  putLittleEndian(out, 2835, 4);
  putLittleEndian(out, static_cast<std::uint32_t>(paletteSize), 4);
  putLittleEndian(out, 0, 4);
  // Index i is the i-th level's grey; the entries past the levels are black.
  for (int i = 0; i < paletteSize; ++i) {
    const std::uint8_t grey = i < levels ? levelGrey(i, levels) : 0;
    out += {static_cast<char>(grey), static_cast<char>(grey), static_cast<char>(grey), '\0'};
  }
  std::array<std::uint8_t, 256> indexOf;
  for (int grey = 0; grey < 256; ++grey)
    indexOf[static_cast<std::size_t>(grey)] = static_cast<std::uint8_t>(nearestLevel(grey, levels));
  out.resize(dataOffset + dataSize, '\0');
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* greys = greyRow(y);
    if (!greys) return Error{"the image could not be drawn"};
    char* row = out.data() + dataOffset + static_cast<std::size_t>(height - 1 - y) * rowBytes;
    for (int x = 0; x < width; ++x) {
      const int bit = x * bits;
      row[bit / 8] = static_cast<char>(row[bit / 8] | indexOf[greys[x]] << (8 - bits - bit % 8));
    }
  }
  return out;
}

}  // namespace

Result<std::string> drawImage(const ui::WidgetLayout& layout, const WidgetQuery& query) {
  const Panel& panel = query.panel;
  const PixelSize size = panelSize(layout.widgetSize, query);
  const cairo_matrix_t matrix = panelMatrix(layout.widgetSize, size, panel.rotate,
                                            panel.width ? std::nullopt : std::optional(query.scale));
  BandedDrawing drawing(size, [&](cairo_t* cr) {
    if (!panel.active()) {
      // As renderLayout draws it: from the widget's corner, transparent around its shape.
      cairo_scale(cr, query.scale, query.scale);
      return ui::paintLayout(cr, layout);
    }
    // Around the widget, the panel shows its window material.
    const ui::Rgba fill = ui::windowMaterial(query.appearance);
    cairo_set_source_rgb(cr, fill.red, fill.green, fill.blue);
    cairo_paint(cr);
    cairo_transform(cr, &matrix);
    return ui::paintLayout(cr, layout);
  });
  if (drawing.error()) return *drawing.error();
  if (!panel.colors && !panel.bmp) {
    Result<std::string> png = ui::encodePng(size.width, size.height, [&](int y) { return drawing.row(y); });
    if (drawing.error()) return *drawing.error();
    return png;
  }

  // The widget's background shows in its content margin, below the middle of its top edge.
  double x = layout.widgetSize.width / 2, y = layout.contentRect.y / 2;
  cairo_matrix_transform_point(&matrix, &x, &y);
  const Result<std::uint32_t> background = drawing.pixel(std::clamp(static_cast<int>(x), 0, size.width - 1),
                                                         std::clamp(static_cast<int>(y), 0, size.height - 1));
  if (!background) return background.error();
  std::uint8_t paper;
  greyRow(reinterpret_cast<const unsigned char*>(&*background), 1, &paper);
  PanelGreys greys(drawing, size.width, onPaper(query.appearance, paper), panel.colors.value_or(0),
                   panel.dither);
  const auto greyRowAt = [&](int row) { return greys.row(row, size.height); };
  Result<std::string> image =
      panel.bmp ? encodeBmp(size.width, size.height, panel.colors.value_or(256), greyRowAt)
                : ui::encodeGreyPng(size.width, size.height, bitsFor(*panel.colors), greyRowAt);
  if (drawing.error()) return *drawing.error();
  return image;
}

}  // namespace kelvo::serve
