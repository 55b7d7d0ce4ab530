#include "KelvoShared/LogText.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

namespace kelvo {

namespace {

struct Decoded {
  char32_t codePoint;
  std::size_t length;  // bytes
};

// The well-formed UTF-8 sequence at the start of `text`, if there is one.
std::optional<Decoded> decodeOne(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return Decoded{lead, 1};
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return Decoded{value, length};
}

bool isBidiControl(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
         c == 0x061C;
}

bool needsEscape(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || isBidiControl(c);
}

// Separates what is around it: shown as a space on one line.
bool isSeparator(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

std::string escaped(char32_t c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      break;
  }
  char buffer[16];
  if (c < 0x80) {
    std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(c));
  } else {
    std::snprintf(buffer, sizeof buffer, "\\u{%x}", static_cast<unsigned>(c));
  }
  return buffer;
}

// The escape of the character or ill-formed byte at the start of `text`,
// and how many bytes of `text` it stands for.
std::pair<std::string, std::size_t> escapeFirst(std::string_view text) {
  const std::optional<Decoded> next = decodeOne(text);
  if (!next) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02x",
                  static_cast<unsigned>(static_cast<std::uint8_t>(text[0])));
    return {buffer, 1};
  }
  if (next->codePoint == '\\') return {"\\\\", 1};
  if (needsEscape(next->codePoint)) return {escaped(next->codePoint), next->length};
  return {std::string(text.substr(0, next->length)), next->length};
}

}  // namespace

std::string escapeForLog(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto [piece, length] = escapeFirst(text);
    out += piece;
    text.remove_prefix(length);
  }
  return out;
}

std::string logValue(std::string_view text, std::size_t maxBytes) {
  std::string out;
  // A character at a time, so that neither a character nor its escape is cut in two.
  while (!text.empty()) {
    const auto [piece, length] = escapeFirst(text);
    if (out.size() + piece.size() > maxBytes) return out + "…";
    out += piece;
    text.remove_prefix(length);
  }
  return out;
}

std::string printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::optional<Decoded> next = decodeOne(text);
    if (!next) {
      out += "\uFFFD";
      text.remove_prefix(1);
      continue;
    }
    if (isSeparator(next->codePoint)) {
      out += ' ';
    } else if (!needsEscape(next->codePoint)) {
      out.append(text.substr(0, next->length));
    }
    text.remove_prefix(next->length);
  }
  return out;
}

bool writeLogLine(std::string_view program, std::string_view text, LogEscape escape) {
  std::string line(program);
  line += ": ";
  line += escape == LogEscape::wholeLine ? escapeForLog(text) : std::string(text);
  line += '\n';
  for (std::size_t written = 0; written < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace kelvo
