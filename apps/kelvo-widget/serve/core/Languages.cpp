#include "Languages.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kelvo::serve {

namespace {

struct Range {
  std::string tag;  // lower case, "-" between subtags
  double weight = 1;
};

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<Range> ranges(std::string_view header) {
  std::vector<Range> out;
  while (!header.empty()) {
    const std::size_t comma = header.find(',');
    std::string_view item = trimmed(header.substr(0, comma));
    header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
    Range range;
    if (const std::size_t semicolon = item.find(';'); semicolon != std::string_view::npos) {
      std::string_view parameter = trimmed(item.substr(semicolon + 1));
      item = trimmed(item.substr(0, semicolon));
      if (parameter.starts_with("q=")) {
        parameter.remove_prefix(2);
        const auto [end, error] =
            std::from_chars(parameter.data(), parameter.data() + parameter.size(), range.weight);
        if (error != std::errc() || range.weight < 0 || range.weight > 1) range.weight = 0;
      }
    }
    range.tag = lowered(item);
    if (!range.tag.empty() && range.weight > 0) out.push_back(range);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Range& a, const Range& b) { return a.weight > b.weight; });
  return out;
}

// Whether a catalog of `catalog`'s language serves `tag` without its own.
bool servesLanguageOf(const std::string& catalog, const std::string& tag) {
  const std::string primary = tag.substr(0, tag.find('-'));
  if (catalog.substr(0, catalog.find('-')) != primary) return false;
  // Traditional Chinese is written with other characters.
  if (primary == "zh") {
    for (const char* traditional : {"-hant", "-tw", "-hk", "-mo"}) {
      if (tag.find(traditional) != std::string::npos) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> negotiateLanguage(std::string_view acceptLanguage,
                                             const std::vector<std::string>& languages) {
  for (const Range& range : ranges(acceptLanguage)) {
    if (range.tag == "*") return std::nullopt;
    for (const std::string& language : languages) {
      if (lowered(language) == range.tag) return language;
    }
    for (const std::string& language : languages) {
      if (servesLanguageOf(lowered(language), range.tag)) return language;
    }
  }
  return std::nullopt;
}

}  // namespace kelvo::serve
