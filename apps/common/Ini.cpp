#include "Ini.h"

#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "KelvoShared/Utf8Text.h"

namespace kelvo::apps {

namespace {

Error lineError(int line, const std::string& what) { return Error{std::to_string(line) + ": " + what}; }

std::string_view trimmed(std::string_view text, std::string_view blanks = " \t") {
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The text's lines without their line feeds; text after the last line feed
// is a line when there is any.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The group a line trimmed of blanks names, "[name]" with blanks allowed
// inside the brackets; nothing when it is no group header.
std::optional<std::string_view> groupHeader(std::string_view line) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return trimmed(line.substr(1, line.size() - 2));
}

}  // namespace

Result<std::vector<IniEntry>> parseIni(std::string_view text) {
  std::vector<IniEntry> entries;
  std::set<std::pair<std::string, std::string>> seen;
  std::string group;
  int number = 0;
  for (const std::string_view raw : linesOf(text)) {
    ++number;
    if (!isValidUtf8(raw)) return lineError(number, "not valid UTF-8");
    if (raw.find('\0') != std::string_view::npos) return lineError(number, "contains a NUL byte");
    const std::string_view line = trimmed(raw, " \t\r");
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::optional<std::string_view> header = groupHeader(line);
      if (!header || header->empty()) return lineError(number, "a group header must read [name]");
      group = std::string(*header);
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

Result<std::string> setIniValue(std::string_view text, std::string_view group, std::string_view key,
                                std::string_view value) {
  const auto entries = parseIni(text);
  if (!entries) return entries.error();
  const auto breaks = [](std::string_view part) {
    return part.find_first_of("\r\n") != std::string_view::npos;
  };
  if (breaks(value) || breaks(key) || breaks(group) || group.find_first_of("[]") != std::string_view::npos ||
      key.find('=') != std::string_view::npos || trimmed(key) != key || key.empty() ||
      trimmed(value) != value) {
    return Error{"0: cannot write \"" + std::string(key) + "\" in [" + std::string(group) + "] as one line"};
  }
  // The line to rewrite, else the line after which the key goes (0: none).
  int replace = 0, after = 0;
  bool groupSeen = false;
  for (const IniEntry& entry : *entries) {
    if (entry.group != group) continue;
    groupSeen = true;
    after = entry.line;
    if (entry.key == key) replace = entry.line;
  }
  const std::vector<std::string_view> lines = linesOf(text);
  // The header's line, when the group has no entries yet.
  for (std::size_t i = 0; !groupSeen && after == 0 && i < lines.size(); ++i) {
    if (groupHeader(trimmed(lines[i], " \t\r")) == group) after = static_cast<int>(i) + 1;
  }
  const std::string written = std::string(key) + "=" + std::string(value);
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const int number = static_cast<int>(i) + 1;
    if (number == replace) {
      // Keep how the line spells its key and separator.
      const std::size_t equals = line.find('=');
      std::size_t valueStart = line.find_first_not_of(" \t", equals + 1);
      if (valueStart == std::string_view::npos) valueStart = line.size();
      out +=
          std::string(line.substr(0, valueStart)) + std::string(value) + (line.ends_with('\r') ? "\r" : "");
    } else {
      out += line;
    }
    const bool hadLineFeed = i + 1 < lines.size() || text.ends_with('\n');
    if (hadLineFeed || (number == after && replace == 0)) out += '\n';
    if (number == after && replace == 0) out += written + '\n';
  }
  if (after == 0) {
    if (!out.empty() && !out.ends_with('\n')) out += '\n';
    if (!out.empty()) out += '\n';
    out += "[" + std::string(group) + "]\n" + written + '\n';
  }
  return out;
}

}  // namespace kelvo::apps
