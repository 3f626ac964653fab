#ifndef MURV_RUNNER_NETWORK_BUILDER_H
#define MURV_RUNNER_NETWORK_BUILDER_H

// Builds a described network as the host does: makes the nodes in
// description order, connects them, refuses a cycle in the connections,
// finds the ports the run pulls and initialises the nodes in creation
// order. Every error on the way is a DescriptionError at the statement it
// comes from.

#include <memory>
#include <string>
#include <vector>

#include "BaseException.h"
#include "Node.h"
#include "NetworkDescription.h"

namespace murvrun {

// One output the run asks for on every iteration.
struct Pull {
  MURV::Node* node;
  int id;
  std::string label;
  bool print;
  // Said, with the count, when the output holds no object: the statement
  // that asked for it.
  std::string missingObjectNote;
};

struct BuiltNetwork {
  // The nodes made so far, in creation order; the caller destroys them, in
  // reverse order, whatever ends the run.
  std::vector<MURV::Node*> nodes;
  std::vector<Pull> pulls;
  std::unique_ptr<Pull> eof;
};

// Builds net, read from path, into built. Between its steps it looks for a
// stop signal: false when one came before the network was ready, which is
// then left as far as it was built.
bool build(Network& net, const std::string& path, BuiltNetwork& built);

// A host exception's text, without its last line end; the exception is
// deleted.
std::string hostText(MURV::BaseException* e);

}  // namespace murvrun

#endif
