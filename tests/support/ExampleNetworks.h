#ifndef MURV_TEST_EXAMPLE_NETWORKS_H
#define MURV_TEST_EXAMPLE_NETWORKS_H

#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace murvtest {

// A line of a description: the lines that start with first, as whole words,
// become second.
using LineChange = std::pair<std::string, std::string>;

// The network of the node reference examples/nodes/<example>.net with
// changes made; replaced counts the lines they replaced.
inline std::string exampleNetwork(const std::string& example, const std::vector<LineChange>& changes,
                                  size_t& replaced) {
  std::ifstream in(std::string(MURV_SOURCE_DIR) + "/examples/nodes/" + example + ".net");
  std::string net, line;
  replaced = 0;
  while (std::getline(in, line)) {
    for (const LineChange& c : changes)
      if (line.compare(0, c.first.size(), c.first) == 0 &&
          (line.size() == c.first.size() || line[c.first.size()] == ' ')) {
        line = c.second;
        ++replaced;
      }
    net += line + "\n";
  }
  return net;
}

// The change that gives node's parameter "NAME type value" its value.
inline LineChange paramChange(const std::string& node, const std::string& param) {
  return {"param " + node + " " + param.substr(0, param.find(' ')), "param " + node + " " + param};
}

}  // namespace murvtest

#endif
