#pragma once

// How much of a text a layout can show. Laying out text costs Pango time in
// proportion to the characters times the lines, so text is cut to what fits
// the visible area before it is measured or drawn, whatever its length.

#include <cstddef>
#include <string>
#include <string_view>

#include "KelvoBase/Utf8.h"
#include "KelvoUI/Font.h"
#include "KelvoUI/Geometry.h"

namespace kelvo::ui {

// The narrowest a shown character is, as a fraction of the font size (a
// period or an "i" is about 0.2). Zero-width characters are counted as this
// wide, so a long run of them is cut sooner than it would have to be.
inline constexpr double narrowestCharacterAdvance = 0.15;
// Bytes kept per character shown, on average.
inline constexpr std::size_t bytesPerCharacter = 8;

// No line holds more characters, no layout more lines, and the text kept is
// never longer in bytes.
struct TextBudget {
  std::size_t charactersPerLine = 1;
  std::size_t lines = 1;
  std::size_t bytes = 1024;
  bool wraps = true;  // a long line goes on in the next; else the rest of it cannot be seen
};

// The budget of text in `font` at `scale` wrapped at `wrapWidth` points
// (infinity: only at line breaks) into at most `maxLines` lines (0: no
// limit), of which at most `visible` points can be seen.
TextBudget textBudget(const Font& font, double scale, double wrapWidth, int maxLines, Size visible);

struct BudgetedText {
  std::string text;  // whole characters from the start
  bool cut = false;  // characters after `text` were left out
};

// The characters of `text` (well-formed UTF-8) that a layout within `budget`
// can show, each cut to kMaxCharacterCodePoints. Stops reading at the cut, so
// the time taken is bounded by the budget (and the longest character read).
BudgetedText budgetedText(std::string_view text, const TextBudget& budget);

}  // namespace kelvo::ui
