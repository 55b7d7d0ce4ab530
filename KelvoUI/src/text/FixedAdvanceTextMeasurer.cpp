#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "KelvoUI/TextMeasurer.h"

namespace kelvo::ui {
namespace {

// Code points of UTF-8 text. Layout hands it well-formed text; in any other,
// a lead byte takes the bytes it announces, whatever they are, and any other
// byte is a character of its own.
std::vector<char32_t> codePoints(const std::string& text) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 1;
    char32_t cp = length == 1 ? c : c & (0x7f >> length);
    size_t j = 1;
    for (; j < size_t(length) && i + j < text.size(); ++j) cp = (cp << 6) | (text[i + j] & 0x3f);
    out.push_back(cp);
    i += j;
  }
  return out;
}

}  // namespace

TextMetrics FixedAdvanceTextMeasurer::measure(const TextRequest& r) {
  const double size = r.font.size * r.scale;
  const double advance = advance_ * size;
  const double lineHeight = (r.font.lineHeight > 0 ? r.font.lineHeight : r.font.size * 1.2) * r.scale;
  const auto chars = codePoints(r.text);
  // Characters that fit on one line; at least one, so text always advances;
  // no limit for unbounded (or NaN) widths.
  const double capacity = r.wrapWidth / advance;
  const size_t perLine = !(capacity < 1e9) ? SIZE_MAX : size_t(std::max(1.0, std::floor(capacity + 1e-9)));

  // Greedy wrapping at spaces, paragraphs at newlines; a word longer than a
  // line is split.
  std::vector<size_t> lineLengths;
  bool brokeWord = false;
  std::vector<std::vector<size_t>> paragraphs(1);
  size_t word = 0;
  for (const char32_t c : chars) {
    if (c == U' ' || c == U'\n') {
      if (word > 0) paragraphs.back().push_back(word);
      word = 0;
      if (c == U'\n') paragraphs.emplace_back();
    } else {
      ++word;
    }
  }
  if (word > 0) paragraphs.back().push_back(word);
  for (const auto& words : paragraphs) {
    size_t line = 0;
    bool open = false;
    for (size_t w : words) {
      if (open && line + 1 + w <= perLine) {
        line += 1 + w;
        continue;
      }
      if (open) lineLengths.push_back(line);
      while (w > perLine) {
        lineLengths.push_back(perLine);
        w -= perLine;
        brokeWord = true;
      }
      line = w;
      open = true;
    }
    lineLengths.push_back(line);
  }

  TextMetrics m;
  size_t shown = lineLengths.size();
  if (r.maxLines > 0 && shown > size_t(r.maxLines)) {
    shown = size_t(r.maxLines);
    m.truncated = true;
    // The last shown line is filled up and ends in "…".
    lineLengths[shown - 1] = perLine == SIZE_MAX ? lineLengths[shown - 1] + 1 : perLine;
  }
  size_t longest = 0;
  for (size_t l = 0; l < shown; ++l) longest = std::max(longest, lineLengths[l]);
  m.lineCount = int(shown);
  m.size = {double(longest) * advance, double(shown) * lineHeight};
  m.firstBaseline = 0.8 * lineHeight;
  m.lastBaseline = (double(shown) - 0.2) * lineHeight;
  m.brokeWord = brokeWord;
  return m;
}

}  // namespace kelvo::ui
