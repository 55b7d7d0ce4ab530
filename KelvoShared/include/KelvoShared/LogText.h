#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo {

// `text` made safe for one line of a log on a terminal or in a journal: C0
// and C1 control characters, DEL, line and paragraph separators and
// bidirectional overrides become visible escapes ("\n", "\x1b", "\u{202e}"),
// a backslash becomes "\\", and each byte of ill-formed UTF-8 becomes "\xHH".
// Everything else, other scripts included, stays as it is.
std::string escapeForLog(std::string_view text);

// The most bytes an outside value takes up in a log line, "…" not counted.
inline constexpr std::size_t kLogValueBytes = 200;
// The most bytes a whole message line takes when it is escaped at once
// (an error with the values it quotes), "…" not counted.
inline constexpr std::size_t kLogLineBytes = 1000;

// An outside value (a payload, a topic, a file name, a library's message) for
// a log line: escaped by escapeForLog and cut where a character begins, so
// that the escaped text fits `maxBytes`; "…" marks a cut. Reads no further
// than the cut, so a payload of megabytes costs no more than its start.
std::string logValue(std::string_view text, std::size_t maxBytes = kLogValueBytes);

// Whether a log line's text still needs escapeForLog, or its caller escaped
// each outside value in it already (and perhaps cut it short).
enum class LogEscape { wholeLine, done };

// Writes "PROGRAM: TEXT" and a line feed to standard error in one write (a
// short or interrupted one is continued), so that lines from other threads
// or processes do not cut into it. False when standard error cannot take it
// (its reader went away): the caller goes on without its log.
bool writeLogLine(std::string_view program, std::string_view text, LogEscape escape);

// `text` made fit to print as part of one line that others read: a status
// bar, a terminal, a JSON reader. Tabs and line breaks (C0's separators, NEL,
// line and paragraph separators) become a space; every other C0 and C1
// control character, DEL and bidirectional control (U+061C, U+200E, U+200F,
// U+202A...U+202E, U+2066...U+2069) is removed; each byte of ill-formed UTF-8
// becomes U+FFFD. Everything else stays as it is.
std::string printableText(std::string_view text);

}  // namespace kelvo
