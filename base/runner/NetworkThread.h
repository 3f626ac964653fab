#ifndef MURV_RUNNER_NETWORK_THREAD_H
#define MURV_RUNNER_NETWORK_THREAD_H

// The thread a network is made, run and destroyed on. A node computes an
// output by asking its upstream nodes for theirs, one call inside the other,
// so the stack a network needs grows with its longest chain of nodes: the
// thread's stack is sized for that chain, and a chain longer than maxChain
// is refused before any node is made.

#include <chrono>
#include <cstddef>
#include <functional>

namespace murvrun {

// The longest chain of nodes the runner pulls, and the stack it gives each
// node of a chain. One pull through a node of the toolbox or the examples
// takes about 400 bytes of stack, and about 1,500 under AddressSanitizer;
// stackPerNode leaves room for nodes with larger frames.
constexpr int maxChain = 50000;
constexpr std::size_t stackPerNode = 4096;
// The stack for everything but the chain: the runner, the nodes' own calls
// into ROS, exceptions on their way out.
constexpr std::size_t stackBase = 16u << 20;

// A chain the calling thread's own stack holds, in every build, should no
// thread with a larger stack be had.
constexpr int shortChain = 1000;

// How long the network's thread has, once a stop signal has come, to end
// and destroy its nodes before the runner ends the process without them:
// stopGrace from the signal, or from the last progress its teardown made
// (see TeardownProgress.h), and stopCeiling from the signal at most.
constexpr std::chrono::seconds stopGrace{2};
constexpr std::chrono::seconds stopCeiling{60};

// Runs body on a thread whose stack holds a chain of chain nodes, waits for
// it and answers body's result. Once a stop signal has come, the wait lasts
// as long as the network's teardown makes progress (see stopGrace): then
// the process ends at once, with 128 + the signal. A short chain runs on
// the calling thread when no thread can be made; otherwise that is a
// std::runtime_error saying why. body must not throw.
int runWithStackFor(int chain, const std::function<int()>& body);

}  // namespace murvrun

#endif
