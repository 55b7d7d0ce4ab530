#pragma once

// Well-formed UTF-8 for every module: the one validator, the one repair and
// the one cap on how many code points a single character keeps.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

// The most code points kept of one character (a letter with its marks): more
// marks stacked on a letter draw as one blot and only cost time.
inline constexpr std::size_t kMaxCharacterCodePoints = 32;

namespace utf8 {

// The length of the well-formed sequence at `at` (1 to 4), or 0 when the
// bytes there are not one: overlongs, surrogates and values past U+10FFFF
// are refused, as is a sequence cut short by the end of `text`.
inline std::size_t sequenceLength(std::string_view text, std::size_t at, char32_t* codePoint = nullptr) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
  const std::size_t left = text.size() - at;
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  char32_t value = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) {
    if (codePoint) *codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= left) return 0;
    const std::uint8_t b = byte(i);
    if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  if (codePoint) *codePoint = value;
  return length;
}

// How many bytes at `at` belong to the longest start of a well-formed
// sequence (at least 1): the part one U+FFFD replaces, as Unicode recommends.
inline std::size_t maximalSubpart(std::string_view text, std::size_t at) {
  std::size_t n = 1;
  // Grow while the bytes so far, plus the next one, could still begin a
  // well-formed sequence: a complete sequence padded with continuation
  // bytes tells it, since sequenceLength only fails at the first bad byte.
  while (n < 4 && at + n < text.size()) {
    std::string probe(text.substr(at, n + 1));
    probe.append(4 - probe.size(), '\x80');
    const std::size_t length = sequenceLength(probe, 0);
    if (length == 0 || length <= n) break;
    ++n;
  }
  return n;
}

}  // namespace utf8

// True when `text` is well-formed UTF-8.
inline bool isValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8::sequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

enum class Noncharacters { keep, replace };

// `text` with every ill-formed sequence replaced by U+FFFD and, when asked,
// every noncharacter too (U+FDD0..U+FDEF and the last two code points of
// each plane, which Cairo's PDF writer refuses), so it can be shown, drawn
// and written as JSON.
inline std::string validUtf8(std::string_view text, Noncharacters noncharacters = Noncharacters::keep) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = 0;
    const std::size_t length = utf8::sequenceLength(text, at, &c);
    if (length == 0) {
      out += "\uFFFD";
      at += utf8::maximalSubpart(text, at);
      continue;
    }
    const bool nonCharacter = (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
    if (nonCharacter && noncharacters == Noncharacters::replace) {
      out += "\uFFFD";
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

// At most kMaxCharacterCodePoints code points of one character (well-formed
// UTF-8), never cut inside a code point.
inline std::string_view clipCharacter(std::string_view character) {
  std::size_t end = 0;
  for (std::size_t n = 0; n < kMaxCharacterCodePoints && end < character.size(); ++n) {
    const std::size_t length = utf8::sequenceLength(character, end);
    end += length == 0 ? 1 : length;
  }
  return character.substr(0, std::min(end, character.size()));
}

}  // namespace kelvo
