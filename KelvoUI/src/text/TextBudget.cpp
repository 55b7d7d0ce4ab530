#include "text/TextBudget.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace kelvo::ui {
namespace {

// floor(x) + 1 for x >= 0, saturating; 1 for NaN or negative x.
std::size_t floorPlusOne(double x) {
  if (!(x >= 0)) return 1;
  if (x >= 1e9) return std::size_t(1e9);
  return std::size_t(std::floor(x)) + 1;
}

// Pango starts a new line after these; other separators are counted as
// ordinary characters, which only keeps more text.
bool startsLine(std::string_view character) {
  return character[0] == '\n' || character[0] == '\r' || character == "\u2028" || character == "\u2029";
}

icu::BreakIterator* characterBreaks() {
  thread_local std::unique_ptr<icu::BreakIterator> breaks = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) made.reset();
    return made;
  }();
  return breaks.get();
}

// Calls `each(character)` for every extended grapheme cluster of `text` in
// order until it returns false; code points when ICU has no break data.
template <class F>
void forEachCharacter(std::string_view text, F each) {
  UErrorCode status = U_ZERO_ERROR;
  icu::BreakIterator* breaks = characterBreaks();
  UText* utext = breaks ? utext_openUTF8(nullptr, text.data(), std::int64_t(text.size()), &status) : nullptr;
  if (utext && U_SUCCESS(status)) breaks->setText(utext, status);
  if (!utext || U_FAILURE(status)) {
    if (utext) utext_close(utext);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = std::int32_t(std::min<std::size_t>(text.size(), INT32_MAX));
    for (std::int32_t start = 0, end = 0; start < length; start = end) {
      U8_FWD_1(bytes, end, length);
      if (!each(text.substr(std::size_t(start), std::size_t(end - start)))) break;
    }
    return;
  }
  std::int32_t start = breaks->first();
  for (std::int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
       start = end, end = breaks->next()) {
    if (!each(text.substr(std::size_t(start), std::size_t(end - start)))) break;
  }
  // Leaves the shared iterator on text of its own, not on `text`.
  static const icu::UnicodeString nothing;
  breaks->setText(nothing);
  utext_close(utext);
}

}  // namespace

TextBudget textBudget(const Font& font, double scale, double wrapWidth, int maxLines, Size visible) {
  double size = font.size * scale;
  if (!(size >= 1)) size = 1;  // Pango draws nothing smaller either
  // A line with an absolute height is exactly that tall; a natural one is
  // at least as tall as the font's size.
  double lineHeight = font.lineHeight > 0 ? font.lineHeight * scale : size;
  if (!(lineHeight > 0)) lineHeight = size;
  const double width = std::min(std::isnan(wrapWidth) ? infinity : wrapWidth, visible.width);

  TextBudget b;
  b.wraps = std::isfinite(wrapWidth);
  b.charactersPerLine = floorPlusOne(width / (narrowestCharacterAdvance * size));
  b.lines = floorPlusOne(visible.height / lineHeight);
  if (maxLines > 0) b.lines = std::min(b.lines, std::size_t(maxLines));
  const double characters = double(b.charactersPerLine) * double(b.lines);
  b.bytes = std::size_t(std::clamp(characters * bytesPerCharacter, 1024.0, 1e9));
  return b;
}

BudgetedText budgetedText(std::string_view text, const TextBudget& budget) {
  BudgetedText out;
  std::size_t line = 0, column = 0;
  const auto cut = [&out] {
    out.cut = true;
    return false;
  };
  // Lines as if every character were the narrowest: the real lines hold no
  // more, so what is left out could not have been seen.
  forEachCharacter(text, [&](std::string_view character) {
    if (startsLine(character)) {
      column = 0;
      if (++line >= budget.lines) return cut();
    } else if (++column > budget.charactersPerLine) {
      // Unwrapped, a line that long runs out of sight: what follows is not
      // worth laying out.
      column = 1;
      if (!budget.wraps || ++line >= budget.lines) return cut();
    }
    const std::string_view kept = clipCharacter(character);
    if (out.text.size() + kept.size() > budget.bytes) return cut();
    out.text += kept;
    return true;
  });
  return out;
}

}  // namespace kelvo::ui
