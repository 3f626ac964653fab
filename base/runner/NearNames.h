#ifndef MURV_RUNNER_NEAR_NAMES_H
#define MURV_RUNNER_NEAR_NAMES_H

// Names a user likely meant: those a misspelt name is a few edits away
// from, letter case aside. The runner offers them for parameter names and
// node types. Names are compared character by character (UTF-8 code
// points, C1 controls too; a byte that begins no character counts as one).

#include <cstddef>
#include <string>
#include <vector>

namespace murvrun {

// Edits (a character added, dropped, changed, or two swapped) from a to
// b, letter case aside.
std::size_t editDistance(const std::string& a, const std::string& b);

// Whether name is likely a misspelling of wanted: one edit away for a name
// of up to four characters, two for a longer one. Names longer than
// longestCompared characters, or that differ in length by more than the
// edits allowed, are never compared.
bool isMisspelling(const std::string& name, const std::string& wanted);

// The longest name compared for a misspelling: the distance takes the
// product of the two lengths.
constexpr std::size_t longestCompared = 128;

// The indexes of the (at most three) candidates closest to wanted among
// those close to it, closest first; of two as close, the earlier one.
std::vector<std::size_t> nearest(const std::string& wanted, const std::vector<std::string>& candidates);

}  // namespace murvrun

#endif
