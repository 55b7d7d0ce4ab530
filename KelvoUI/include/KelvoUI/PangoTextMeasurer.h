#pragma once

#include <memory>
#include <string>

#include "KelvoBase/Result.h"
#include "KelvoUI/TextMeasurer.h"

typedef struct _cairo cairo_t;
typedef struct _PangoLayout PangoLayout;

namespace kelvo::ui {

struct Rgba;

// Fonts behind the designs, found through fontconfig by family name.
inline constexpr const char* textFontFamily = "Inter";         // fonts-inter
inline constexpr const char* roundedFontFamily = "Quicksand";  // fonts-quicksand

// Text measurement and drawing with Pango on its own font map, with hinting
// off so that sizes in points do not depend on the output's pixel density.
// Not thread-safe: use one per thread at a time (threadLocal() does that).
class PangoTextMeasurer final : public TextMeasurer {
 public:
  // Starts loading the font configuration on a thread of its own, so that
  // what the caller does before its first measurer overlaps it; create()
  // waits for it (and starts it when nobody has).
  static void prepare();
  // Fails when a needed font family is not installed.
  static Result<std::shared_ptr<PangoTextMeasurer>> create();
  // One shared measurer per thread, made on first use, or the one lent to
  // the thread.
  static Result<std::shared_ptr<PangoTextMeasurer>> threadLocal();

  // While it lives, threadLocal() gives `measurer` on the thread that made
  // it: a host keeps measurers whose fonts are loaded and lends them to
  // whichever thread draws next. A measurer is lent to one thread at a time.
  class Lent {
   public:
    explicit Lent(std::shared_ptr<PangoTextMeasurer> measurer);
    ~Lent();
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;

   private:
    std::shared_ptr<PangoTextMeasurer> earlier_;
  };

  ~PangoTextMeasurer() override;
  PangoTextMeasurer(const PangoTextMeasurer&) = delete;
  PangoTextMeasurer& operator=(const PangoTextMeasurer&) = delete;

  TextMetrics measure(const TextRequest& request) override;

  // Draws the text as measured, its top-left corner at (x, y) in the
  // context's user space, `width` wide (for centred lines), in `color`.
  void draw(cairo_t* cr, const TextRequest& request, double x, double y, double width, const Rgba& color);

  // Draws one glyph of an icon font with its em square at (x, y), `size` points.
  void drawGlyph(cairo_t* cr, const std::string& family, char32_t codepoint, double x, double y, double size,
                 const Rgba& color);

 private:
  struct State;
  explicit PangoTextMeasurer(std::unique_ptr<State> state);
  // The layout of a request; `cut` is set when lines were left out without
  // Pango's own "…".
  PangoLayout* makeLayout(const TextRequest& request, bool* cut = nullptr);
  static void limitLines(PangoLayout* layout, int maxLines, bool* cut);
  std::unique_ptr<State> state_;
};

}  // namespace kelvo::ui
