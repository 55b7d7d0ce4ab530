#include <gtest/gtest.h>

#include "KelvoShared/LogText.h"

namespace kelvo {
namespace {

TEST(EscapeForLog, ControlsBecomeVisibleAndTextStays) {
  // clang-format off
  for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
           {"CHARGING", "CHARGING"}, {"a\nkelvo-widget run: forged", "a\\nkelvo-widget run: forged"},
           {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"}, {"cr\rtab\t", "cr\\rtab\\t"},
           {std::string("nul\0end", 7), "nul\\x00end"}, {"del\x7f", "del\\x7f"},
           {"back\\slash\\n", "back\\\\slash\\\\n"},  // a literal "\n" stays apart from an escaped one
           {"c1 \xc2\x9b" "31m next\xc2\x85line", "c1 \\u{9b}31m next\\u{85}line"},
           {"sep\xe2\x80\xa8" "bidi\xe2\x80\xae" "evil\xe2\x81\xa6", "sep\\u{2028}bidi\\u{202e}evil\\u{2066}"},
           {"Polestar 4 \xc2\xb7 2026 \xe0\xb8\x81 \xf0\x9f\x9a\x97", "Polestar 4 \xc2\xb7 2026 \xe0\xb8\x81 \xf0\x9f\x9a\x97"},
           {"bad \xff\xc3( \xed\xa0\x80", "bad \\xff\\xc3( \\xed\\xa0\\x80"}, {"cut \xe2\x82", "cut \\xe2\\x82"}}) {
    EXPECT_EQ(escapeForLog(text), expected) << expected;
  }
  // clang-format on
}

}  // namespace
}  // namespace kelvo
