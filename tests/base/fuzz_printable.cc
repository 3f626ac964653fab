// Feeds arbitrary bytes and limits to murvtext::printable and checks what
// every printed text relies on: no control byte, a shown text that shows
// the same again, at most limit characters and a mark, and a cut that
// keeps the start of the whole text's form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "PrintableText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t limit = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string whole = murvtext::printable(text, std::string::npos);
  const std::string shown = murvtext::printable(text, limit);
  for (const char c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) std::abort();
  if (murvtext::printable(whole, std::string::npos) != whole) std::abort();
  if (murvtext::characterCount(shown) > limit + 3) std::abort();
  const bool marked = shown != whole;
  const std::string kept = marked && shown.size() >= 3 && shown.compare(shown.size() - 3, 3, "...") == 0 &&
                                   whole.compare(0, shown.size(), shown) != 0
                               ? shown.substr(0, shown.size() - 3)
                               : shown;
  if (whole.compare(0, kept.size(), kept) != 0) std::abort();
  return 0;
}
