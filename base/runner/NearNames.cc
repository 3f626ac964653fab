#include "NearNames.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace murvrun {

std::size_t editDistance(const std::string& a, const std::string& b) {
  auto same = [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
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

namespace {

// The most edits at which a name is taken for a misspelling of wanted.
std::size_t misspellingEdits(const std::string& wanted) { return wanted.size() > 4 ? 2 : 1; }

}  // namespace

bool isMisspelling(const std::string& name, const std::string& wanted) {
  const std::size_t edits = misspellingEdits(wanted);
  const std::size_t gap = name.size() > wanted.size() ? name.size() - wanted.size() : wanted.size() - name.size();
  if (gap > edits || name.size() > longestCompared || wanted.size() > longestCompared) return false;
  return editDistance(name, wanted) <= edits;
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
