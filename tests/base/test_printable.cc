// murvtext::printable: what every printed text from outside becomes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "PrintableText.h"

namespace {

// code, past U+007F, in UTF-8.
std::string utf8(unsigned long c) {
  auto next = [&](int shift) { return static_cast<char>(0x80 | (c >> shift & 0x3F)); };
  if (c < 0x800) return {static_cast<char>(0xC0 | c >> 6), next(0)};
  if (c < 0x10000) return {static_cast<char>(0xE0 | c >> 12), next(6), next(0)};
  return {static_cast<char>(0xF0 | c >> 18), next(12), next(6), next(0)};
}

}  // namespace

TEST(PrintableText, CleansAndCutsEveryTextToOneReadableLine) {
  const std::string e = "\xc3\xa9";  // two bytes of UTF-8
  std::string e200;
  for (int i = 0; i < 200; ++i) e200 += e;
  const std::string e300 = e200 + e200.substr(0, 200);
  // Every format character (Unicode 15's category Cf), and the tags.
  std::string formats, formatsShown;
  for (const auto& range : std::vector<std::pair<unsigned long, unsigned long>>{
           {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},     {0x70F, 0x70F},
           {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
           {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
           {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE007F}})
    for (unsigned long c = range.first; c <= range.second; ++c) {
      char shown[16];
      std::snprintf(shown, sizeof shown, "\\u{%04lx}", c);
      formats += utf8(c);
      formatsShown += shown;
    }
  const struct {
    std::string text;
    std::size_t limit;
    std::string shown;
  } rows[] = {
      {"", 10, ""},
      {"plain text", 100, "plain text"},
      // Visible characters stay, the neighbours of escaped ones too (U+2010,
      // U+2801, U+3001, U+F900, U+FFFD).
      {e + "\xf0\x9f\x98\x80 \xe2\x80\x90\xe2\xa0\x81\xe3\x80\x81\xef\xa4\x80\xef\xbf\xbd", 100,
       e + "\xf0\x9f\x98\x80 \xe2\x80\x90\xe2\xa0\x81\xe3\x80\x81\xef\xa4\x80\xef\xbf\xbd"},
      // Spaces other than U+0020, blanks and private-use characters.
      {"Test\xc2\xa0Signal", 100, "Test\\u{00a0}Signal"},
      {"\xe1\x9a\x80\xe2\x80\x80\xe2\x80\x8a\xe2\x80\xaf\xe2\x81\x9f\xe3\x80\x80", 100,
       "\\u{1680}\\u{2000}\\u{200a}\\u{202f}\\u{205f}\\u{3000}"},
      {"\xe2\xa0\x80\xef\xbf\xbc\xee\x80\x80\xef\xa3\xbf\xf3\xb0\x80\x80\xf4\x8f\xbf\xbd", 100,
       "\\u{2800}\\u{fffc}\\u{e000}\\u{f8ff}\\u{f0000}\\u{10fffd}"},
      {"a\nb\tc\rd", 100, "a\\nb\\tc\\rd"},
      {"\x01\x1b[31m\x7f", 100, "\\x01\\x1b[31m\\x7f"},
      {"\xc2\x85", 100, "\\xc2\\x85"},                                    // a C1 control
      {"\xff\xc0\xaf\xed\xa0\x80\xe2\x80", 100, "\\xff\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x80"},  // not UTF-8
      // Invisible and reordering characters, the byte-order mark anywhere.
      {"\xef\xbb\xbf" "a\xef\xbb\xbf" "b", 100, "\\u{feff}a\\u{feff}b"},
      {"Test\xe2\x80\xaeSignal", 100, "Test\\u{202e}Signal"},
      {"\xe2\x80\x8b\xe2\x80\x8f\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaa", 100, "\\u{200b}\\u{200f}\\u{2028}\\u{2029}\\u{202a}"},
      {"\xe2\x81\xa0\xe2\x81\xa4\xe2\x81\xa6\xe2\x81\xa9\xc2\xad", 100, "\\u{2060}\\u{2064}\\u{2066}\\u{2069}\\u{00ad}"},
      {"\xf3\xa0\x80\x81\xef\xbf\xbe", 100, "\\u{e0001}\\u{fffe}"},
      {formats, std::string::npos, formatsShown},
      // Cuts on a character or escape boundary, marked once.
      {"abcdef", 3, "abc..."},
      {"abc", 3, "abc"},
      {e + e + e, 2, e + e + "..."},
      {e300, 200, e200 + "..."},  // characters counted, not bytes
      {"a\x01", 4, "a..."},
      {"a\xe2\x80\xae", 8, "a..."},
      {"abc", 0, "..."},
      // A text shown before is shown the same, and cut as it was shown.
      {"a\\x01\\u{202e}\\n", 100, "a\\x01\\u{202e}\\n"},
      {"a\\x01b", 4, "a..."},
      {"a\\u{202e}b", 8, "a..."},
      {"abcdef...", 7, "abcdef..."},
      {"abc...def", 6, "abc..."},
      {"a\\q\\x1", 100, "a\\q\\x1"},  // a backslash that starts no escape
  };
  for (const auto& r : rows) {
    EXPECT_EQ(murvtext::printable(r.text, r.limit), r.shown) << r.text;
    EXPECT_EQ(murvtext::printable(r.shown, std::string::npos), r.shown) << r.text;
  }
}
