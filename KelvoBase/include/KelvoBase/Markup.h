#pragma once

// Text put into XML or HTML (the SVG's title and link, serve's page): the
// five characters that could end a text or an attribute value become
// references. &#39; rather than &apos;, which HTML 4 does not know.

#include <string>
#include <string_view>

namespace kelvo {

inline std::string markupEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace kelvo
