#include "PanelImage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "FreeList.h"
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
// Rows diffused at once in vector lanes, where the machine has them.
constexpr int kLanes = 8;
// The errors carried into the rows being diffused and the two after them,
// with room for the neighbours past either edge; the buffers take turns.
constexpr int kErrorRows = kLanes + 2;
constexpr int kMargin = 2;
using ErrorRows = std::array<std::vector<std::int32_t>, kErrorRows>;

// The errors carried into the image's row `row`, from its first pixel.
std::int32_t* errorRow(ErrorRows& errors, int row) {
  return errors[static_cast<std::size_t>(row % kErrorRows)].data() + kMargin;
}

// Diffuses `rows` rows of `width` greys, one after another in `batch`, that
// are the image's rows from `y` on.
template <Dither method>
void diffuseRows(std::uint8_t* batch, int width, int y, int rows, const GreyLevels& levels,
                 ErrorRows& errors) {
  std::array<RowDiffusion<method>, kRowsAtOnce> at;
  for (int k = 0; k < rows; ++k)
    at[static_cast<std::size_t>(k)] = {batch + static_cast<std::size_t>(k) * static_cast<std::size_t>(width),
                                       errorRow(errors, y + k), errorRow(errors, y + k + 1),
                                       errorRow(errors, y + k + 2)};
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

// The nearest level of grey v, for levels `spacing` apart, is
// (2v + spacing) * levelDivisor(spacing) >> 16 where the lanes compute it
// (a multiply-high); Diffusion checks that against its table.
constexpr int levelDivisor(int spacing) { return (65536 + 2 * spacing - 1) / (2 * spacing); }

#if defined(__SSE2__)
// Eight rows diffused together, row k in 16-bit lane k of each vector, two
// pixels behind the row above as diffuseRows has them: step x is pixel
// x - 2k of row k. An error for the row below then reaches the next lane
// one, two or three steps later, for the row after it two lanes on four
// steps later, so it waits in vectors instead of memory. Only the first
// rows' carried errors come from the buffers, and the last rows' go to
// them. Grey values times 16 and their errors fit 16 bits.
template <Dither method>
void diffuseEight(std::uint8_t* batch, int width, int y, const GreyLevels& levels, int levelCount,
                  ErrorRows& errors) {
  const std::int32_t* intoFirst = errorRow(errors, y);
  const std::int32_t* intoSecond = errorRow(errors, y + 1);
  std::int32_t* afterLast = errorRow(errors, y + kLanes);
  std::int32_t* afterNext = errorRow(errors, y + kLanes + 1);
  // The nearest level of grey v by levelDivisor; v / 128 for two levels.
  const int spacing = 255 / (levelCount - 1);
  const __m128i twice = _mm_set1_epi16(static_cast<short>(spacing));
  const __m128i divide = _mm_set1_epi16(static_cast<short>(levelDivisor(spacing)));
  const __m128i levelStep = _mm_set1_epi16(static_cast<short>(spacing * 16));
  const __m128i eight = _mm_set1_epi16(8), top = _mm_set1_epi16(255 * 16), zero = _mm_setzero_si128();
  const __m128i three = _mm_set1_epi16(3), five = _mm_set1_epi16(5);
  const auto row = [&](int k) {
    return batch + static_cast<std::size_t>(k) * static_cast<std::size_t>(width);
  };

  __m128i right = zero, rightAfter = zero;
  __m128i soon[5] = {zero, zero, zero, zero, zero};  // errors for this step and the four after it
  static_assert(kLanes == 8 && kLag == 2);
  const __m128i behind = _mm_set_epi16(14, 12, 10, 8, 6, 4, 2, 0),
                edge = _mm_set1_epi16(static_cast<short>(width));
  const int steps = width + kLag * (kLanes - 1);
  for (int x = 0; x < steps; ++x) {
    const bool whole = x >= kLag * (kLanes - 1) && x < width;
    // Lane k's pixel, times 16; none before its row starts or after it ends.
    const auto at = [&](int k) -> short {
      const int own = x - kLag * k;
      return static_cast<short>(whole || (own >= 0 && own < width) ? levels.paper[row(k)[own]] * 16 : 0);
    };
    // Lane by lane from registers: a vector read from eight stored
    // values would wait for the stores to drain.
    __m128i in = _mm_cvtsi32_si128(at(0));
    in = _mm_insert_epi16(in, at(1), 1);
    in = _mm_insert_epi16(in, at(2), 2);
    in = _mm_insert_epi16(in, at(3), 3);
    in = _mm_insert_epi16(in, at(4), 4);
    in = _mm_insert_epi16(in, at(5), 5);
    in = _mm_insert_epi16(in, at(6), 6);
    in = _mm_insert_epi16(in, at(7), 7);
    const __m128i own = _mm_sub_epi16(_mm_set1_epi16(static_cast<short>(x)), behind);
    const __m128i mask = _mm_andnot_si128(_mm_cmplt_epi16(own, zero), _mm_cmplt_epi16(own, edge));
    __m128i carried = soon[0];
    if (x < width) carried = _mm_insert_epi16(carried, _mm_extract_epi16(carried, 0) + intoFirst[x], 0);
    if (x >= kLag && x - kLag < width)
      carried = _mm_insert_epi16(carried, _mm_extract_epi16(carried, 1) + intoSecond[x - kLag], 1);
    const __m128i wanted =
        _mm_max_epi16(_mm_min_epi16(_mm_add_epi16(in, _mm_add_epi16(carried, right)), top), zero);
    const __m128i grey = _mm_srli_epi16(_mm_add_epi16(wanted, eight), 4);
    const __m128i level = levelCount == 2
                              ? _mm_srli_epi16(grey, 7)
                              : _mm_mulhi_epu16(_mm_add_epi16(_mm_add_epi16(grey, grey), twice), divide);
    const __m128i chosen = _mm_mullo_epi16(level, levelStep);
    const __m128i error = _mm_and_si128(_mm_sub_epi16(wanted, chosen), mask);
    soon[0] = soon[1];
    soon[1] = soon[2];
    soon[2] = soon[3];
    soon[3] = soon[4];
    soon[4] = zero;
    __m128i lastLeft = zero, lastUnder = zero, lastRight = zero, further = zero;
    if constexpr (method == Dither::floydSteinberg) {
      right = _mm_srai_epi16(_mm_sub_epi16(_mm_slli_epi16(error, 3), error), 4);
      const __m128i left = _mm_srai_epi16(_mm_mullo_epi16(error, three), 4);
      const __m128i under = _mm_srai_epi16(_mm_mullo_epi16(error, five), 4);
      const __m128i rest = _mm_sub_epi16(_mm_sub_epi16(_mm_sub_epi16(error, right), left), under);
      soon[0] = _mm_add_epi16(soon[0], _mm_slli_si128(left, 2));
      soon[1] = _mm_add_epi16(soon[1], _mm_slli_si128(under, 2));
      soon[2] = _mm_add_epi16(soon[2], _mm_slli_si128(rest, 2));
      lastLeft = left, lastUnder = under, lastRight = rest;
    } else if constexpr (method == Dither::atkinson) {
      const __m128i eighth = _mm_srai_epi16(error, 3);
      right = _mm_add_epi16(rightAfter, eighth);
      rightAfter = eighth;
      const __m128i below = _mm_slli_si128(eighth, 2);
      soon[0] = _mm_add_epi16(soon[0], below);
      soon[1] = _mm_add_epi16(soon[1], below);
      soon[2] = _mm_add_epi16(soon[2], below);
      soon[3] = _mm_add_epi16(soon[3], _mm_slli_si128(eighth, 4));
      lastLeft = lastUnder = lastRight = further = eighth;
    }
    const __m128i greys = _mm_srli_epi16(chosen, 4);
    const auto put = [&](int k, int grey) {
      if (const int own = x - kLag * k; whole || (own >= 0 && own < width))
        row(k)[own] = static_cast<std::uint8_t>(grey);
    };
    put(0, _mm_extract_epi16(greys, 0));
    put(1, _mm_extract_epi16(greys, 1));
    put(2, _mm_extract_epi16(greys, 2));
    put(3, _mm_extract_epi16(greys, 3));
    put(4, _mm_extract_epi16(greys, 4));
    put(5, _mm_extract_epi16(greys, 5));
    put(6, _mm_extract_epi16(greys, 6));
    put(7, _mm_extract_epi16(greys, 7));
    if constexpr (method != Dither::none) {
      // The last row's errors go to the row after the batch, and with
      // Atkinson's the last two rows' to the second row after it.
      const int last = x - kLag * (kLanes - 1);
      if (last >= 0 && last < width) {
        afterLast[last - 1] += static_cast<std::int16_t>(_mm_extract_epi16(lastLeft, kLanes - 1));
        afterLast[last] += static_cast<std::int16_t>(_mm_extract_epi16(lastUnder, kLanes - 1));
        afterLast[last + 1] += static_cast<std::int16_t>(_mm_extract_epi16(lastRight, kLanes - 1));
        if constexpr (method == Dither::atkinson)
          afterNext[last] += static_cast<std::int16_t>(_mm_extract_epi16(further, kLanes - 1));
      }
      if constexpr (method == Dither::atkinson)
        if (last + kLag >= 0 && last + kLag < width)
          afterLast[last + kLag] += static_cast<std::int16_t>(_mm_extract_epi16(further, kLanes - 2));
    }
  }
}
#endif

// Rows of greys put on paper and reduced to evenly spaced levels, batch by
// batch from the top, the errors carried from each batch to the next.
class Diffusion {
 public:
  // `levels` 0 keeps every grey (after the paper).
  Diffusion(int width, std::array<std::uint8_t, 256> paper, int levels, Dither dither, bool vectors)
      : width_(width), levels_(levels), dither_(dither) {
    greys_.paper = paper;
    for (int grey = 0; grey < 256; ++grey)
      greys_.nearest[static_cast<std::size_t>(grey)] =
          static_cast<std::uint8_t>(levels > 0 ? levelGrey(nearestLevel(grey, levels), levels) : grey);
    for (auto& row : errors_) row.assign(static_cast<std::size_t>(width + 2 * kMargin), 0);
#if defined(__SSE2__)
    // The lanes find the nearest level by arithmetic; it must agree with
    // the table for every grey.
    const int spacing = levels > 1 ? 255 / (levels - 1) : 0;
    vectors_ = vectors && levels > 1 && 255 % (levels - 1) == 0;
    for (int grey = 0; vectors_ && grey < 256; ++grey) {
      const int level = levels == 2 ? grey >> 7 : (2 * grey + spacing) * levelDivisor(spacing) >> 16;
      vectors_ = level * spacing == greys_.nearest[static_cast<std::size_t>(grey)];
    }
#else
    (void)vectors;
#endif
  }

  // The image's next `rows` rows (at most kLanes), one after another in
  // `batch`, in place.
  void next(std::uint8_t* batch, int rows) {
    if (levels_ == 0) {
      std::uint8_t* end = batch + static_cast<std::size_t>(rows) * static_cast<std::size_t>(width_);
      for (std::uint8_t* grey = batch; grey != end; ++grey) *grey = greys_.paper[*grey];
    } else {
      for (int done = 0; done < rows;) {
        const int now = vectors_ && rows - done == kLanes ? kLanes : std::min(kRowsAtOnce, rows - done);
        std::uint8_t* at = batch + static_cast<std::size_t>(done) * static_cast<std::size_t>(width_);
        switch (dither_) {
          case Dither::floydSteinberg:
            diffuse<Dither::floydSteinberg>(at, now);
            break;
          case Dither::atkinson:
            diffuse<Dither::atkinson>(at, now);
            break;
          case Dither::none:
            diffuse<Dither::none>(at, now);
            break;
        }
        // These rows' buffers carry into later rows next.
        for (int k = 0; k < now; ++k) {
          std::vector<std::int32_t>& used = errors_[static_cast<std::size_t>((y_ + k) % kErrorRows)];
          std::fill(used.begin(), used.end(), 0);
        }
        y_ += now;
        done += now;
      }
    }
  }

 private:
  template <Dither method>
  void diffuse(std::uint8_t* rows, int count) {
#if defined(__SSE2__)
    if (count == kLanes) return diffuseEight<method>(rows, width_, y_, greys_, levels_, errors_);
#endif
    diffuseRows<method>(rows, width_, y_, count, greys_, errors_);
  }

  int width_, levels_;
  Dither dither_;
  bool vectors_ = false;
  GreyLevels greys_;
  ErrorRows errors_;
  int y_ = 0;  // the first row of the next batch
};

// The most pixel bytes a band holds: well within kHeapDrawingBytes, and
// small, since a thread's heap grows with the largest drawing it has made
// and every page it grows by is a fresh one. A band costs a paint of the
// widget, of which little is left where its text is out of the band.
constexpr std::size_t kBandBytes = 1u << 20;

// A thread that paints a drawing's next band while the thread that asked
// for the drawing writes the rows of the one before: the two halves of the
// work then take the time of the longer one. A job is done by whichever
// thread takes it first, so a busy painter never holds a drawing up.
class AheadPainter {
 public:
  struct Job {
    std::atomic<bool> taken{false};
    std::function<void()> work;
    std::promise<void> done;  // kept when the painter did the work
  };

  // Null on a machine with one processor, where painting ahead gains nothing.
  static AheadPainter* shared() {
    static AheadPainter* const painter = std::thread::hardware_concurrency() > 1 ? new AheadPainter : nullptr;
    return painter;
  }

  void post(std::shared_ptr<Job> job) {
    {
      const std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
      queued_.fetch_add(1, std::memory_order_release);
    }
    posted_.notify_one();
  }

  // Does the job here unless the painter has taken it, else waits for it.
  static void settle(Job& job, std::future<void>& done) {
    if (!job.taken.exchange(true))
      job.work();
    else
      done.wait();
  }

 private:
  // The thread lives as long as the process: it waits for work, and its
  // own text measurer stays warm between drawings.
  AheadPainter() {
    std::thread([this] { run(); }).detach();
  }

  [[noreturn]] void run() {
    for (;;) {
      // A drawing posts its next band a band's time after the last: the
      // thread stays awake that long rather than be woken for each, which
      // can take longer than painting the band on a virtual machine.
      const auto until = std::chrono::steady_clock::now() + kAwake;
      while (queued_.load(std::memory_order_acquire) == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        posted_.wait(lock, [&] { return !jobs_.empty(); });
        job = std::move(jobs_.front());
        jobs_.pop_front();
        queued_.fetch_sub(1, std::memory_order_relaxed);
      }
      if (job->taken.exchange(true)) continue;  // the drawing's own thread got there first
      job->work();
      job->done.set_value();
    }
  }

  static constexpr std::chrono::microseconds kAwake{2000};
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::shared_ptr<Job>> jobs_;
  std::atomic<int> queued_{0};
};

// Memory for band surfaces, made and touched once, when the server starts:
// a band in fresh memory first costs its pages (on the development machine
// 13 µs each, over 3 ms for a band), and each server thread's heap would
// pay for them again at every larger size it draws.
class BandMemory {
 public:
  // A band's pixels, its rows rounded up to an even number (two rows of
  // up to 2,048 pixels; wider bands take memory of their own).
  static constexpr std::size_t kBytes = kBandBytes + (16u << 10);

  static BandMemory& shared() {
    static BandMemory* const memory = new BandMemory;
    return *memory;
  }

  void reserve(int count) {
    const std::lock_guard lock(mutex_);
    while (static_cast<int>(owned_.size()) < count) {
      owned_.push_back(std::make_unique<unsigned char[]>(kBytes));  // zeroed: touched
      free_.give(owned_.back().get());
    }
  }

  // Null when every buffer is lent out.
  unsigned char* take() { return free_.take(); }
  void give(unsigned char* memory) { free_.give(memory); }

 private:
  std::mutex mutex_;  // for owned_
  std::vector<std::unique_ptr<unsigned char[]>> owned_;
  FreeList<unsigned char*> free_;
};

// The image drawn in horizontal bands, each within kBandBytes, as its rows
// are asked for from the top; while one band's rows are read, the next is
// painted ahead into a second surface. A surface over kHeapDrawingBytes
// would get pages of its own, which the kernel maps and clears on every
// drawing (on the development machine 20 ms for a Kindle's 6 MB), where the
// heap's are there already.
class BandedDrawing {
 public:
  using Paint = std::function<std::optional<Error>(cairo_t*)>;

  // What a band's rows are made into where it is painted, ready for the
  // encoder: the straight RGBA of a colour PNG, or greys.
  enum class Made { straightRgba, greys };

  // `paint` draws the whole image in its pixels; `opaque` when it covers
  // every one of them, so that a band need not be cleared first.
  BandedDrawing(PixelSize size, Paint paint, Made made, bool opaque)
      : paint_(std::move(paint)), width_(size.width), height_(size.height), made_(made), opaque_(opaque) {
    const std::size_t bytes =
        static_cast<std::size_t>(size.width) * 4 * static_cast<std::size_t>(size.height);
    const std::size_t bands = std::max<std::size_t>(1, (bytes + kBandBytes - 1) / kBandBytes);
    rows_ = static_cast<int>((static_cast<std::size_t>(size.height) + bands - 1) / bands);
    // An even number, so that every band starts at an even row: Cairo
    // rounds glyphs at half-pixel positions differently in a band that
    // starts at an odd one (at 1.5x a line of text moved by a pixel).
    rows_ += rows_ % 2;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, size.width);
    const bool fits = stride > 0 && static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows_) <=
                                        BandMemory::kBytes;
    for (std::size_t i = 0; i < (bands > 1 ? 2u : 1u); ++i) {
      Band& band = bands_[i];
      band.lent = fits ? BandMemory::shared().take() : nullptr;
      band.dirty = band.lent != nullptr;
      band.surface.reset(band.lent ? cairo_image_surface_create_for_data(band.lent, CAIRO_FORMAT_ARGB32,
                                                                         size.width, rows_, stride)
                                   : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.width, rows_));
      if (cairo_surface_status(band.surface.get()) != CAIRO_STATUS_SUCCESS) {
        error_ = Error{"the image would be too large"};
        return;
      }
    }
  }

  BandedDrawing(const BandedDrawing&) = delete;
  BandedDrawing& operator=(const BandedDrawing&) = delete;

  // A band still being painted ahead is finished before its surface goes.
  ~BandedDrawing() {
    for (Band& band : bands_)
      if (band.job) AheadPainter::settle(*band.job, band.done);
  }

  // Row y's straight RGBA pixels, for a drawing that makes them, valid
  // until a row of another band is asked for. Null once drawing failed.
  const unsigned char* row(int y) {
    const Band* band = ready(y);
    return band ? cairo_image_surface_get_data(band->surface.get()) +
                      static_cast<std::ptrdiff_t>(y - band->top) *
                          cairo_image_surface_get_stride(band->surface.get())
                : nullptr;
  }

  // Row y's greys, for a drawing that makes them, as row() has it: they
  // take the place of the row's first pixels.
  const std::uint8_t* greyRow(int y) { return row(y); }

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
  struct Band {
    Band() = default;
    Band(const Band&) = delete;
    Band& operator=(const Band&) = delete;
    ~Band() {
      surface.reset();
      if (lent) BandMemory::shared().give(lent);
    }

    unsigned char* lent = nullptr;  // its pixels, from BandMemory
    bool dirty = false;             // holds pixels of an earlier drawing
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
    int top = -1;  // the first row it holds; -1 before it is painted
    std::optional<Error> error;
    std::shared_ptr<AheadPainter::Job> job;  // painting it ahead
    std::future<void> done;
  };

  Band& bandFor(int top) { return bands_[static_cast<std::size_t>(top / rows_ % 2)]; }

  // The band with row y, painted; the band after it set to be painted
  // ahead. Null once drawing failed.
  const Band* ready(int y) {
    if (error_) return nullptr;
    const int top = y - y % rows_;
    Band& band = bandFor(top);
    if (band.job) {
      AheadPainter::settle(*band.job, band.done);
      band.job.reset();
      paintAhead(top + rows_);
    } else if (band.top != top) {
      // The next band is set going first, so that the painter is awake
      // by the time this one is painted here.
      paintAhead(top + rows_);
      paint(band, top);
    }
    if (band.error) error_ = band.error;
    return error_ ? nullptr : &band;
  }

  // Sets the band from row `top`, if there is one, to be painted ahead
  // into the surface that the band before it no longer needs.
  void paintAhead(int top) {
    AheadPainter* painter = AheadPainter::shared();
    if (!painter || top >= height_) return;
    Band& ahead = bandFor(top);
    ahead.job = std::make_shared<AheadPainter::Job>();
    ahead.job->work = [this, &ahead, top] { paint(ahead, top); };
    ahead.done = ahead.job->done.get_future();
    painter->post(ahead.job);
  }

  // Paints the band from row `top`, on whichever thread does it.
  void paint(Band& band, int top) {
    const std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(band.surface.get()));
    if (band.dirty && !opaque_) {
      cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
      cairo_paint(cr.get());
      cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
    }
    band.top = top;
    band.dirty = true;
    cairo_translate(cr.get(), 0, -top);
    if ((band.error = paint_(cr.get()))) return;
    cairo_surface_flush(band.surface.get());
    unsigned char* data = cairo_image_surface_get_data(band.surface.get());
    const int stride = cairo_image_surface_get_stride(band.surface.get());
    for (int k = 0; k < std::min(rows_, height_ - top); ++k) {
      unsigned char* row = data + static_cast<std::ptrdiff_t>(k) * stride;
      if (made_ == Made::greys)
        serve::greyRow(row, width_, row);
      else
        ui::straightenRow(row, width_);
    }
  }

  Paint paint_;
  int width_, height_;
  Made made_;
  bool opaque_;
  int rows_ = 1;
  std::array<Band, 2> bands_;
  std::optional<Error> error_;
};

int bitsFor(int levels) { return levels <= 2 ? 1 : levels <= 4 ? 2 : levels <= 16 ? 4 : 8; }

// The image's greys a few rows at a time, as the encoders ask for them
// from the top: each drawn, made grey, put on paper and, with levels,
// diffused to them. No whole grey image is ever kept.
class PanelGreys {
 public:
  // `levels` 0 keeps every grey.
  PanelGreys(BandedDrawing& drawing, PixelSize size, std::array<std::uint8_t, 256> paper, int levels,
             Dither dither)
      : drawing_(drawing),
        width_(size.width),
        height_(size.height),
        diffusion_(size.width, paper, levels, dither, true),
        batch_(static_cast<std::size_t>(size.width) * kLanes) {}

  // Row y's greys, asked for top to bottom (the errors carry down), valid
  // until the next batch of rows; null once drawing failed.
  const std::uint8_t* row(int y) {
    if (y >= top_ + kLanes) {
      top_ = y - y % kLanes;
      if (!make(std::min(kLanes, height_ - top_))) return nullptr;
    }
    return batch_.data() + static_cast<std::size_t>(y - top_) * static_cast<std::size_t>(width_);
  }

 private:
  bool make(int rows) {
    for (int k = 0; k < rows; ++k) {
      const std::uint8_t* greys = drawing_.greyRow(top_ + k);
      if (!greys) return false;
      std::memcpy(batch_.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(width_), greys,
                  static_cast<std::size_t>(width_));
    }
    diffusion_.next(batch_.data(), rows);
    return true;
  }

  BandedDrawing& drawing_;
  int width_, height_;
  Diffusion diffusion_;
  std::vector<std::uint8_t> batch_;
  int top_ = -kLanes;  // the batch's first row; none made yet
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

void quantise(std::uint8_t* greys, int width, int height, int levels, Dither dither, bool vectors) {
  std::array<std::uint8_t, 256> same;
  for (int grey = 0; grey < 256; ++grey)
    same[static_cast<std::size_t>(grey)] = static_cast<std::uint8_t>(grey);
  Diffusion diffusion(width, same, levels, dither, vectors);
  for (int y = 0; y < height; y += kLanes)
    diffusion.next(greys + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                   std::min(kLanes, height - y));
}

void prepareDrawing(std::function<void()> warmUp) {
  BandMemory::shared().reserve(2);
  AheadPainter* painter = AheadPainter::shared();
  if (!painter || !warmUp) return;
  auto job = std::make_shared<AheadPainter::Job>();
  job->work = std::move(warmUp);
  painter->post(std::move(job));
}

Result<std::string> drawImage(const ui::WidgetLayout& layout, const WidgetQuery& query) {
  const Panel& panel = query.panel;
  const PixelSize size = panelSize(layout.widgetSize, query);
  const cairo_matrix_t matrix = panelMatrix(layout.widgetSize, size, panel.rotate,
                                            panel.width ? std::nullopt : std::optional(query.scale));
  const bool grey = panel.colors || panel.bmp;
  BandedDrawing drawing(
      size,
      [&](cairo_t* cr) {
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
      },
      grey ? BandedDrawing::Made::greys : BandedDrawing::Made::straightRgba, panel.active());
  if (drawing.error()) return *drawing.error();
  if (!grey) {
    Result<std::string> png = ui::encodePng(
        size.width, size.height, [&](int y) { return drawing.row(y); }, ui::RowPixels::straightRgba);
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
  PanelGreys greys(drawing, size, onPaper(query.appearance, paper), panel.colors.value_or(0), panel.dither);
  const auto greyRowAt = [&](int row) { return greys.row(row); };
  Result<std::string> image =
      panel.bmp ? encodeBmp(size.width, size.height, panel.colors.value_or(256), greyRowAt)
                : ui::encodeGreyPng(size.width, size.height, bitsFor(*panel.colors), greyRowAt);
  if (drawing.error()) return *drawing.error();
  return image;
}

}  // namespace kelvo::serve
