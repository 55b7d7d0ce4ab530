#include <gtest/gtest.h>

#include "KelvoShared/Utf8Text.h"

namespace kelvo {
namespace {

std::string repeat(std::string_view unit, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += unit;
  return out;
}

TEST(Utf8Validity, EachMaximalIllFormedPartBecomesOneReplacement) {
  EXPECT_TRUE(isValidUtf8("Zoë 🚗 \U0010FFFF"));
  const std::string r = "\uFFFD";
  // clang-format off
  for (const auto& [input, repaired] : std::vector<std::pair<std::string, std::string>>{{"\x80", r} /* lone continuation */,
           {"a\xFF" "b", "a" + r + "b"} /* never used */, {"\xC3", r} /* cut by the end */, {"\xE2\x82" "x", r + "x"} /* one for both */,
           {"\xC0\xAF", r + r} /* overlong */, {"\xE0\x80\x80", r + r + r}, {"\xED\xA0\x80", r + r + r} /* surrogate */,
           {"\xF4\x90\x80\x80", r + r + r + r} /* past U+10FFFF */, {"\xF0\x9F\x9A", r}}) {
    // clang-format on
    EXPECT_FALSE(isValidUtf8(input)) << input;
    EXPECT_EQ(validUtf8(input), repaired) << input;
  }
  // Noncharacters are well-formed; only drawing and PDF output replace them, not their neighbours.
  // clang-format off
  for (const auto& [input, replaced] : std::vector<std::pair<std::string, std::string>>{{"\uFDD0x\U0010FFFE", r + "x" + r},
           {"a\uFFFEb\uFDEF", "a" + r + "b" + r}, {"\U0001FFFE\U0010FFFF", r + r}, {"\uFDCF\uFDF0\uFFFD\U0010FFFD", "\uFDCF\uFDF0\uFFFD\U0010FFFD"}}) {
    // clang-format on
    EXPECT_EQ(validUtf8(input), input);
    EXPECT_EQ(validUtf8(input, Noncharacters::replace), replaced) << input;
  }
}

TEST(GraphemePrefix, CountsUserPerceivedCharactersAndBoundsBytesAndMarks) {
  const std::string acute = "\u0301", family = "\U0001F468\u200D\U0001F469\u200D\U0001F467",
                    flag = "\U0001F1F8\U0001F1EA";
  const std::string huge = "e" + repeat(acute, 400000) + "x";  // one character of 800 KB, then one more
  // clang-format off
  const struct { std::string text; std::size_t count, maxBytes; std::string expected; } cases[] = {
      {"short", 120, 1024, "short"}, {"", 120, 1024, ""},
      {repeat("é", 200), 120, 1024, repeat("é", 120)},                            // two bytes each
      {repeat("e" + acute, 200), 120, 1024, repeat("e" + acute, 120)},          // e + combining acute is one character
      {repeat(family + flag, 100), 3, 1024, family + flag + family},             // a ZWJ sequence and a flag: one each
      {"\r\nx", 1, 1024, "\r\n"},
      {huge, 120, 1024, "e" + repeat(acute, 31) + "x"}, {huge, 1, 1024, "e" + repeat(acute, 31)},  // 32 code points at most
      {repeat("e" + repeat(acute, 40), 100), 120, 1024, repeat("e" + repeat(acute, 31), 16)},
      {repeat("é", 600), 120, 100, repeat("é", 50)}, {repeat("é", 600), 120, 101, repeat("é", 50)}};  // never half of one
  // clang-format on
  for (const auto& c : cases) {
    const std::string cut = prefixGraphemes(c.text, c.count, c.maxBytes);
    EXPECT_EQ(cut, c.expected) << c.text.size() << " bytes, " << c.count << " characters, " << c.maxBytes;
    EXPECT_LE(cut.size(), c.maxBytes);
  }
  const std::string cut = prefixGraphemes(repeat("\xE2\x82", 200), 120);  // truncated 3-byte sequences
  EXPECT_TRUE(isValidUtf8(cut) && !cut.empty()) << cut;
}

}  // namespace
}  // namespace kelvo
