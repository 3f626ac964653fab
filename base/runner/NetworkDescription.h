#ifndef MURV_RUNNER_NETWORK_DESCRIPTION_H
#define MURV_RUNNER_NETWORK_DESCRIPTION_H

// The network description as the runner reads it from its text file, and
// the error that reports a fault in it at its file and line.
//
// Description format, one statement per line ('#' starts a comment):
//   node <instance> <NodeType>
//   param <instance> <NAME> int|float|bool|string|object <value>
//   connect <instance> <INPUT> <from-instance> <OUTPUT>
//   output <instance> <OUTPUT>        printed on every iteration
//   pull <instance> <OUTPUT>          computed on every iteration, not printed
//   eof <instance> <OUTPUT>           the run ends when this output is false
//   iterations <N>                    the most counts to run

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ParameterSet.h"

namespace murvrun {

struct NodeDecl {
  std::string name, type;
  MURV::ParameterSet params;
  int line = 0;
  std::map<std::string, int> paramLines;  // the line of each param statement
  std::string label() const { return "node " + name + " (" + type + ")"; }
};
struct Connection {
  std::string node, input, from, output;
  int line = 0;
};
struct Port {
  std::string node, output;
  bool print = true;
  int line = 0;
};
struct Network {
  std::vector<NodeDecl> nodes;
  std::vector<Connection> connections;
  std::vector<Port> outputs;
  std::unique_ptr<Port> eof;
  long iterations = -1;
};

// A fault in the description, or any error while the network is set up,
// thrown up to main so that the nodes already made are destroyed before the
// run ends.
struct DescriptionError {
  std::string where;
  int line;
  std::string what;
};

[[noreturn]] void fail(const std::string& where, int line, const std::string& what);

// Digits only: no sign, no fraction, no trailing text.
bool readWholeNumber(const std::string& text, long& value);

// Reads the description at path; a fault throws DescriptionError.
Network parse(const std::string& path);

}  // namespace murvrun

#endif
