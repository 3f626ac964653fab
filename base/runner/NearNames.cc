#include "NearNames.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "PrintableText.h"

namespace murvrun {

namespace {

// The characters of text as a reader counts them: each UTF-8 character,
// a C1 control (U+0080 to U+009F) too, as its code point, and each byte
// that begins none as one of its own, apart from every code point.
std::u32string characters(const std::string& text) {
  std::u32string chars;
  for (std::size_t i = 0; i < text.size();) {
    unsigned long code = 0;
    std::size_t length = murvtext::detail::utf8CharAt(text, i, code);
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    // Printable text leaves controls out, but a C1 control is one character.
    if (!length && byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80)
      length = 2, code = static_cast<unsigned char>(text[i + 1]);
    chars.push_back(length ? static_cast<char32_t>(code) : byte < 0x80 ? byte : 0x110000 + byte);
    i += length ? length : 1;
  }
  return chars;
}

std::size_t distance(const std::u32string& a, const std::u32string& b) {
  auto same = [](char32_t x, char32_t y) {
    auto upper = [](char32_t c) { return c < 0x80 ? static_cast<char32_t>(std::toupper(static_cast<int>(c))) : c; };
    return upper(x) == upper(y);
  };
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
      if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The most edits at which a name of length characters is taken for a
// misspelling of wanted.
std::size_t misspellingEdits(std::size_t length) { return length > 4 ? 2 : 1; }

}  // namespace

std::size_t editDistance(const std::string& a, const std::string& b) { return distance(characters(a), characters(b)); }

bool isMisspelling(const std::string& name, const std::string& wanted) {
  // A UTF-8 character takes at most four bytes: longer texts are not
  // decoded.
  if (name.size() > 4 * longestCompared || wanted.size() > 4 * longestCompared) return false;
  const std::u32string n = characters(name), w = characters(wanted);
  const std::size_t edits = misspellingEdits(w.size());
  const std::size_t gap = n.size() > w.size() ? n.size() - w.size() : w.size() - n.size();
  if (gap > edits || n.size() > longestCompared || w.size() > longestCompared) return false;
  return distance(n, w) <= edits;
}

std::vector<std::size_t> nearest(const std::string& wanted, const std::vector<std::string>& candidates) {
  std::vector<std::pair<std::size_t, std::size_t>> found;  // distance, index
  for (std::size_t i = 0; i < candidates.size(); ++i)
    if (isMisspelling(candidates[i], wanted)) found.push_back({editDistance(candidates[i], wanted), i});
  std::sort(found.begin(), found.end());
  if (found.size() > 3) found.resize(3);
  std::vector<std::size_t> indexes;
  for (const auto& f : found) indexes.push_back(f.second);
  return indexes;
}

}  // namespace murvrun
