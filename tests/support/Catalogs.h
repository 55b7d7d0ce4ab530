#pragma once

// The gettext catalogs in po/ as shipped; suites that include this define
// KELVO_PO_DIR and KELVO_LANGUAGES (po/LINGUAS, comma-separated).

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace kelvo::testing {

inline std::vector<std::string> catalogLanguages() {
  std::vector<std::string> list;
  const std::string all = KELVO_LANGUAGES;
  for (std::size_t start = 0, comma; start < all.size(); start = comma + 1) {
    comma = std::min(all.find(',', start), all.size());
    if (comma > start) list.push_back(all.substr(start, comma - start));
  }
  return list;
}

// msgid to msgstr of po/<file>; the header is the entry of msgid "".
inline std::map<std::string, std::string> readCatalog(const std::string& file) {
  const auto unquote = [](const std::string& line) {
    std::string text;
    for (std::size_t i = line.find('"') + 1, close = line.rfind('"'); i < close; ++i) {
      const bool escape = line[i] == '\\' && i + 1 < close;
      const char c = escape ? line[++i] : line[i];
      text += !escape ? c : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return text;
  };
  std::ifstream in(std::string(KELVO_PO_DIR) + "/" + file);
  std::map<std::string, std::string> entries;
  std::string line, msgid, *current = nullptr;
  while (std::getline(in, line)) {
    if (line.starts_with("msgid ")) {
      current = &(msgid = unquote(line));
    } else if (line.starts_with("msgstr ")) {
      current = &(entries[msgid] = unquote(line));
    } else if (line.starts_with('"') && current != nullptr) {
      *current += unquote(line);
    } else {
      current = nullptr;
    }
  }
  return entries;
}

}  // namespace kelvo::testing
