#ifndef MURV_PRINTABLE_TEXT_H
#define MURV_PRINTABLE_TEXT_H

// The one way a text from outside (a file name, an instance name, a
// parameter value, a host exception's message, a ROS string) goes into a
// line that the runner or a node prints: one line, nothing that a terminal
// would act on or that would hide or reorder what the reader sees, and no
// longer than its limit.
//
// printable(text, limit) shows
// - each printable UTF-8 character as it is;
// - a line feed, a tab and a carriage return as \n, \t and \r;
// - every other byte that is not part of a printable UTF-8 character (C0
//   and C1 controls, DEL, broken, overlong or surrogate sequences) as \xNN,
//   one escape per byte, in lower-case hex;
// - each character that could pass for another or for nothing (every
//   space other than U+0020, such as the no-break space U+00A0, which
//   reads as a plain space; the byte-order mark U+FEFF anywhere,
//   zero-width characters, bidirectional marks, embeddings, overrides and
//   isolates, line and paragraph separators, every other format
//   character (Unicode's category Cf), variation selectors, tags,
//   fillers and blanks with no visible form,
//   the object replacement character, private-use characters, whose look
//   depends on the font, and noncharacters) as \u{XXXX}, its code point in
//   lower-case hex with at least four digits.
// A backslash stays as it is, so that a text shown once can be passed in
// again: an escape already in the text, and the "..." of an earlier cut,
// are kept whole, as one piece each.
//
// At most limit characters are shown, each character of an escape counted
// (a UTF-8 character that is several bytes counts once). A longer text is
// cut on a character or escape boundary and "..." is added after the cut,
// so a cut text takes at most limit + 3 characters. A cut just after an
// earlier cut's "..." adds no second mark.

#include <cstddef>
#include <cstdio>
#include <string>

namespace murvtext {

namespace detail {

// Code points shown escaped: spaces other than U+0020, invisible,
// zero-width, reordering and separator characters, every format character
// (Unicode's category Cf: prepended number signs and hieroglyph joiners
// too), tags, blanks, private use, as closed ranges in ascending order.
inline bool hiddenCodePoint(unsigned long c) {
  static const unsigned long ranges[][2] = {
      {0x00A0, 0x00A0},   {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x0600, 0x0605},   {0x061C, 0x061C},
      {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},
      {0x1680, 0x1680},   {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2028, 0x202F},
      {0x205F, 0x206F},   {0x2800, 0x2800},   {0x3000, 0x3000},   {0x3164, 0x3164},   {0xE000, 0xF8FF},
      {0xFDD0, 0xFDEF},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFC},
      {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
      {0xE0000, 0xE0FFF}, {0xF0000, 0x10FFFF},
  };
  // U+xFFFE and U+xFFFF in every plane are noncharacters.
  if ((c & 0xFFFE) == 0xFFFE) return true;
  for (const auto& r : ranges) {
    if (c < r[0]) return false;
    if (c <= r[1]) return true;
  }
  return false;
}

// The length of the UTF-8 character at text[i] and its code point in code,
// or 0 when the bytes there are not one: a broken or overlong sequence, a
// surrogate, a code point past U+10FFFF, or a control character (C0, DEL,
// C1).
inline std::size_t utf8CharAt(const std::string& text, std::size_t i, unsigned long& code) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    code = c;
    return c >= 0x20 && c != 0x7f ? 1 : 0;
  }
  std::size_t length;
  if (c >= 0xC2 && c <= 0xDF) length = 2, code = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) length = 3, code = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) length = 4, code = c & 0x07;
  else return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code < 0xA0) return 0;
  return length;
}

inline bool hexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The length of an escape that printable() writes, at text[i], or 0.
inline std::size_t escapeAt(const std::string& text, std::size_t i) {
  if (text[i] != '\\' || i + 1 >= text.size()) return 0;
  const char kind = text[i + 1];
  if (kind == 'n' || kind == 't' || kind == 'r') return 2;
  if (kind == 'x') return i + 3 < text.size() && hexDigit(text[i + 2]) && hexDigit(text[i + 3]) ? 4 : 0;
  if (kind != 'u' || i + 2 >= text.size() || text[i + 2] != '{') return 0;
  std::size_t end = i + 3;
  while (end < text.size() && end - (i + 3) < 6 && hexDigit(text[end])) ++end;
  return end > i + 3 && end < text.size() && text[end] == '}' ? end + 1 - i : 0;
}

}  // namespace detail

// A code point as printable() escapes it: \u{XXXX}.
inline std::string codePointEscape(unsigned long code) {
  char escaped[16];
  std::snprintf(escaped, sizeof escaped, "\\u{%04lx}", code);
  return escaped;
}

// Whether text holds a character that printable() shows as \u{XXXX}: the
// first one's code point goes to code.
inline bool firstHidden(const std::string& text, unsigned long& code) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = detail::utf8CharAt(text, i, code);
    if (length && detail::hiddenCodePoint(code)) return true;
    i += length ? length : 1;
  }
  return false;
}

// The characters of a text that printable() has shown: its bytes but those
// that continue a UTF-8 character.
inline std::size_t characterCount(const std::string& shown) {
  std::size_t count = 0;
  for (const char c : shown) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

inline std::string printable(const std::string& text, std::size_t limit) {
  std::string shown;
  std::size_t characters = 0;  // shown so far
  for (std::size_t i = 0; i < text.size();) {
    std::string piece;
    unsigned long code = 0;
    std::size_t length = detail::escapeAt(text, i);
    if (!length && text.compare(i, 3, "...") == 0) length = 3;  // an earlier cut's mark
    if (length) {
      piece = text.substr(i, length);
    } else if ((length = detail::utf8CharAt(text, i, code)) != 0) {
      if (detail::hiddenCodePoint(code)) {
        piece = codePointEscape(code);
      } else {
        piece = text.substr(i, length);
      }
    } else {
      length = 1;
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c == '\n') piece = "\\n";
      else if (c == '\t') piece = "\\t";
      else if (c == '\r') piece = "\\r";
      else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
        piece = escaped;
      }
    }
    // An escape or a mark is ASCII; any other piece is one character.
    const std::size_t pieceCharacters = characterCount(piece);
    if (characters + pieceCharacters > limit) {
      const bool marked = shown.size() >= 3 && shown.compare(shown.size() - 3, 3, "...") == 0;
      return marked ? shown : shown + "...";
    }
    shown += piece;
    characters += pieceCharacters;
    i += length;
  }
  return shown;
}

}  // namespace murvtext

#endif
