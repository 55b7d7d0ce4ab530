#pragma once

#include <glib.h>

#include <string>

namespace kelvo::ui {

// The text with every invalid UTF-8 sequence replaced by U+FFFD, so Pango and
// JSON get well-formed text whatever the views were given.
inline std::string validUtf8(const std::string& text) {
  if (g_utf8_validate(text.data(), gssize(text.size()), nullptr)) return text;
  gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
  std::string out(valid);
  g_free(valid);
  return out;
}

}  // namespace kelvo::ui
