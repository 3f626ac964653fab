#ifndef MURV_RUNNER_NETWORK_CHECK_H
#define MURV_RUNNER_NETWORK_CHECK_H

// What the runner checks of a description before it makes any node: the
// node types are known to the loaded toolboxes, every statement names a
// declared instance, the connections form no cycle, and no pulled chain of
// nodes is longer than the runner can pull. A fault throws DescriptionError
// at its statement. Parameter and port names need the node: they are
// checked as the network is built.

#include <string>
#include <vector>

#include "NetworkDescription.h"

namespace murvrun {

// Checks net, read from path, with toolboxes loaded; answers the number of
// nodes in the longest chain the run pulls through.
int checkNetwork(const Network& net, const std::string& path, const std::vector<std::string>& toolboxes);

}  // namespace murvrun

#endif
