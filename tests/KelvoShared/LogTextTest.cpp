#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <tuple>

#include "KelvoShared/LogText.h"

namespace kelvo {
namespace {

TEST(LogAndPrintableText, ControlsBecomeVisibleInLogsAndGoFromPrintedLinesAndTextStays) {
  // clang-format off
  // The text, as a log escapes it, as a status line prints it.
  for (const auto& [text, log, printed] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"CHARGING", "CHARGING", "CHARGING"}, {"a\nkelvo-widget run: forged", "a\\nkelvo-widget run: forged", "a kelvo-widget run: forged"},
           {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07", "[2J]0;title"}, {"cr\rtab\t", "cr\\rtab\\t", "cr tab "},
           {std::string("nul\0end", 7), "nul\\x00end", "nulend"}, {"del\x7f", "del\\x7f", "del"},
           {"back\\slash\\n", "back\\\\slash\\\\n", "back\\slash\\n"},  // a literal "\n" stays apart from an escaped one
           {"c1 \xc2\x9b" "31m next\xc2\x85line", "c1 \\u{9b}31m next\\u{85}line", "c1 31m next line"},
           {"sep\xe2\x80\xa8" "bidi\xe2\x80\xae" "evil\xe2\x81\xa6", "sep\\u{2028}bidi\\u{202e}evil\\u{2066}", "sep bidievil"},
           {"\xe2\x80\x8e" "lrm\xe2\x80\x8f" "rlm\xd8\x9c" "alm\xe2\x81\xa9", "\\u{200e}lrm\\u{200f}rlm\\u{61c}alm\\u{2069}", "lrmrlmalm"},
           {"Polestar 4 \xc2\xb7 2026 \xe0\xb8\x81 \xf0\x9f\x9a\x97", "Polestar 4 \xc2\xb7 2026 \xe0\xb8\x81 \xf0\x9f\x9a\x97", "Polestar 4 \xc2\xb7 2026 \xe0\xb8\x81 \xf0\x9f\x9a\x97"},
           {"bad \xff\xc3( \xed\xa0\x80", "bad \\xff\\xc3( \\xed\\xa0\\x80", "bad \xef\xbf\xbd\xef\xbf\xbd( \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
           {"cut \xe2\x82", "cut \\xe2\\x82", "cut \xef\xbf\xbd\xef\xbf\xbd"}}) {
    EXPECT_EQ(escapeForLog(text), log) << log;
    EXPECT_EQ(printableText(text), printed) << log;
    EXPECT_EQ(logValue(text), log) << log;
  }
  // A value cut to fit: never inside a character or its escape, "…" where cut.
  for (const auto& [text, limit, logged] : std::vector<std::tuple<std::string, std::size_t, std::string>>{
           {"abcdef", 3, "abc…"}, {"abc", 3, "abc"}, {"\xc3\xa9\xc3\xa9\xc3\xa9", 3, "\xc3\xa9…"},
           {"a\nb", 2, "a…"}, {"ab\xff", 5, "ab…"}, {std::string(1 << 20, 'x'), 4, "xxxx…"}}) {
    EXPECT_EQ(logValue(text, limit), logged) << logged;
  }
  // clang-format on
}

TEST(LogLine, NamesTheProgramEscapesAsAskedAndSaysWhenNobodyReads) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const int savedStderr = ::dup(STDERR_FILENO);
  ::dup2(pipe[1], STDERR_FILENO);
  ::close(pipe[1]);
  const bool first = writeLogLine("kelvo-x", "a\nforged\\", LogEscape::wholeLine);
  const bool second = writeLogLine("kelvo-y run", "escaped \\n already", LogEscape::done);
  std::string read(256, '\0');
  read.resize(std::size_t(std::max<ssize_t>(0, ::read(pipe[0], read.data(), read.size()))));
  ::close(pipe[0]);
  const sighandler_t previous = ::signal(SIGPIPE, SIG_IGN);
  const bool unread = writeLogLine("kelvo-x", "gone", LogEscape::wholeLine);
  ::signal(SIGPIPE, previous);
  ::dup2(savedStderr, STDERR_FILENO);
  ::close(savedStderr);
  EXPECT_TRUE(first && second);
  EXPECT_EQ(read, "kelvo-x: a\\nforged\\\\\nkelvo-y run: escaped \\n already\n");
  EXPECT_FALSE(unread);
}

}  // namespace
}  // namespace kelvo
