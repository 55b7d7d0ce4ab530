#include "Page.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "KelvoBase/Markup.h"

namespace kelvo::serve {

namespace {

void replaceAll(std::string& text, std::string_view placeholder, std::string_view value) {
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

// The tooltip's lines: the title as the heading, the rest as paragraphs,
// as the script writes them on each event.
std::string detailsHtml(const std::string& tooltip) {
  std::string html;
  std::size_t start = 0;
  for (bool first = true; start <= tooltip.size(); first = false) {
    const std::size_t end = std::min(tooltip.find('\n', start), tooltip.size());
    const std::string line = markupEscaped(std::string_view(tooltip).substr(start, end - start));
    html += first ? "<h1 id=\"car\">" + line + "</h1>" : "<p>" + line + "</p>";
    start = end + 1;
  }
  return html;
}

}  // namespace

std::string urlEncoded(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

std::string pageHtml(const PageContent& content) {
  std::string html(kPageHtml);
  const std::string query = markupEscaped(content.query);
  replaceAll(html, "{{lang}}", markupEscaped(content.language));
  replaceAll(html, "{{dir}}", content.rightToLeft ? "rtl" : "ltr");
  replaceAll(html, "{{title}}", markupEscaped(content.title));
  replaceAll(html, "{{?token}}", content.tokenQuery.empty() ? "" : "?" + markupEscaped(content.tokenQuery));
  replaceAll(html, "{{&query}}", query.empty() ? "" : "&amp;" + query);
  replaceAll(html, "{{query}}", query);
  replaceAll(html, "{{alt}}", markupEscaped(content.status.text));
  replaceAll(html, "{{details}}", detailsHtml(content.status.tooltip));
  return html;
}

}  // namespace kelvo::serve
