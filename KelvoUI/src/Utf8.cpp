#include "Utf8.h"

#include <glib.h>

namespace kelvo::ui {
namespace {

// Cairo refuses these in the text it writes into a PDF.
bool isNoncharacter(gunichar c) { return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE; }

bool hasNoncharacter(const std::string& wellFormed) {
  for (const char* p = wellFormed.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
    if (isNoncharacter(g_utf8_get_char(p))) return true;
  }
  return false;
}

}  // namespace

std::string validUtf8(const std::string& text) {
  std::string out;
  if (g_utf8_validate(text.data(), gssize(text.size()), nullptr)) {
    out = text;
  } else {
    gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
    out = valid;
    g_free(valid);
  }
  if (!hasNoncharacter(out)) return out;
  std::string replaced;
  replaced.reserve(out.size());
  for (const char* p = out.c_str(); *p != '\0';) {
    const char* next = g_utf8_next_char(p);
    if (isNoncharacter(g_utf8_get_char(p))) {
      replaced += "\uFFFD";
    } else {
      replaced.append(p, next);
    }
    p = next;
  }
  return replaced;
}

}  // namespace kelvo::ui
