#pragma once

#include <string>

#include "KelvoUI/Font.h"
#include "KelvoUI/Geometry.h"

namespace kelvo::ui {

// One text to lay out: the same request gives the same lines when drawn.
struct TextRequest {
  std::string text;
  Font font;                    // with the weight already applied
  double scale = 1;             // multiplies the font size and line height (minimumScaleFactor)
  double wrapWidth = infinity;  // points; infinity = never wrap
  int maxLines = 0;             // 0 = as many as needed; a cut last line ends in "…"
  TextAlignment alignment = TextAlignment::leading;
  LayoutDirection direction = LayoutDirection::leftToRight;  // which edge `leading` is, when drawn
  bool cut = false;  // `text` is the start of a longer text and ends in "…"
};

struct TextMetrics {
  Size size;                 // of the laid-out lines, points
  double firstBaseline = 0;  // from the top to the first line's baseline, points
  double lastBaseline = 0;   // from the top to the last line's baseline, points
  int lineCount = 0;         // lines shown
  bool truncated = false;    // some text was cut off and "…" shown
  bool brokeWord = false;    // a word had to be split across lines to fit the width
  int unknownGlyphs = 0;     // characters no installed font has, drawn as boxes
  friend bool operator==(const TextMetrics&, const TextMetrics&) = default;
};

// Whether `later` lays out the same lines as `earlier` did, and so measures
// as `earlier` did (to `metrics`): the same text in the same font, scale and
// alignment, nothing cut by a line limit, and either a single line (the
// whole text, unwrapped) at any width that holds it, or any lines at the
// same width when neither request's line limit was reached.
bool sameLines(const TextRequest& earlier, const TextMetrics& metrics, const TextRequest& later);

// Measures text for layout. Pango in production (PangoTextMeasurer), a
// fixed-advance measurer in layout tests (FixedAdvanceTextMeasurer).
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual TextMetrics measure(const TextRequest& request) = 0;
};

// Every character (code point) advances `advance` x the font size; lines are
// `lineHeight` tall, or 1.2 x the size when the font gives none; the
// baseline sits at 0.8 of the line. Wraps at spaces, splits words that do not
// fit on a line of their own, and cuts at maxLines with "…" (one character).
class FixedAdvanceTextMeasurer final : public TextMeasurer {
 public:
  explicit FixedAdvanceTextMeasurer(double advance = 0.5) : advance_(advance) {}
  TextMetrics measure(const TextRequest& request) override;

 private:
  double advance_;
};

}  // namespace kelvo::ui
