#ifndef MURV_RUNNER_NETWORK_RUN_H
#define MURV_RUNNER_NETWORK_RUN_H

// Runs a checked network description: builds the network, pulls iteration
// counts and prints the outputs asked for, and destroys the nodes in reverse
// order, whatever ends the run. Everything a node does happens on the
// calling thread, the network's.

#include <string>

#include "NetworkDescription.h"

namespace murvrun {

// The run's exit status: 0 after a run; 1 when a host exception ends it, or
// an output cannot be written; 2 for a fault of the description, also one
// found as the first counts run (an input a node reads left unconnected, an
// eof output that is not a bool); 128 + the signal after a stop signal.
// countLimit < 0: no limit.
int runNetwork(Network& net, const std::string& path, long countLimit);

// Prints a fault of the description as the runner's one line on standard
// error.
void reportFault(const DescriptionError& e);

// The status of a run that failure ends: the stop signal's, when one came.
int failedWith(int failure);

}  // namespace murvrun

#endif
