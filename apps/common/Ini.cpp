#include "Ini.h"

#include <set>
#include <utility>

#include "KelvoShared/Utf8Text.h"

namespace kelvo::apps {

namespace {

Error lineError(int line, const std::string& what) { return Error{std::to_string(line) + ": " + what}; }

std::string_view trimmed(std::string_view text, std::string_view blanks = " \t") {
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

Result<std::vector<IniEntry>> parseIni(std::string_view text) {
  std::vector<IniEntry> entries;
  std::set<std::pair<std::string, std::string>> seen;
  std::string group;
  int number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!isValidUtf8(raw)) return lineError(number, "not valid UTF-8");
    if (raw.find('\0') != std::string_view::npos) return lineError(number, "contains a NUL byte");
    const std::string_view line = trimmed(raw, " \t\r");
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) return lineError(number, "a group header must read [name]");
      group = std::string(trimmed(line.substr(1, line.size() - 2)));
      if (group.empty()) return lineError(number, "a group header must read [name]");
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return lineError(number, "expected \"key = value\"");
    IniEntry entry{group, std::string(trimmed(line.substr(0, equals))),
                   std::string(trimmed(line.substr(equals + 1))), number};
    if (entry.key.empty()) return lineError(number, "the key before \"=\" is empty");
    if (group.empty()) return lineError(number, "\"" + entry.key + "\" comes before any [group]");
    if (!seen.emplace(group, entry.key).second) {
      return lineError(number, "\"" + entry.key + "\" is given twice in [" + group + "]");
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace kelvo::apps
