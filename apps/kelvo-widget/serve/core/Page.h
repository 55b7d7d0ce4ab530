#pragma once

// The live page: the large widget, its details as text for screen readers,
// and the script that keeps both current through /events.

#include <string>
#include <string_view>

#include "StatusLine.h"

namespace kelvo::serve {

// The page's files, compiled in from resources/serve.
extern const std::string_view kPageHtml;
extern const std::string_view kPageScript;
extern const std::string_view kPageStyle;
extern const std::string_view kPageIcon;

struct PageContent {
  std::string language;  // the <html lang>, "de", "pt-BR"
  bool rightToLeft = false;
  std::string title;        // the window's title
  std::string query;        // lang= and token= for the page's own requests, "" for none
  std::string tokenQuery;   // token= alone, for the page's files; "" for none
  host::StatusLine status;  // its text is the picture's alt, its tooltip the details
};

// The page with `content` filled in, every value escaped for HTML.
std::string pageHtml(const PageContent& content);

// `value` escaped for a URL's query.
std::string urlEncoded(std::string_view value);

}  // namespace kelvo::serve
