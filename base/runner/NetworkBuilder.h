#ifndef MURV_RUNNER_NETWORK_BUILDER_H
#define MURV_RUNNER_NETWORK_BUILDER_H

// Builds a checked network description as the host does: makes the nodes
// in description order, connects them, finds the ports the run pulls and
// initialises the nodes in creation order. Every error on the way is a
// DescriptionError at the statement it comes from; a network that asks for
// no output is one too, at its last statement.

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
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
  int line;  // the statement that asked for it
};

struct BuiltNetwork {
  // The nodes made so far, in creation order; the caller destroys them, in
  // reverse order, whatever ends the run.
  std::vector<MURV::Node*> nodes;
  std::map<const MURV::Node*, const NodeDecl*> declOf;
  // The line of the connect statement in force for each input (node, id).
  std::map<std::pair<const MURV::Node*, int>, int> connectLines;
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

// A host text inside a runner error: one line, at most lineLimit
// characters, with each of the user's texts in echoed that it repeats
// shortened, since the error quotes them already.
std::string hostExcerpt(const std::string& text, std::initializer_list<std::string> echoed = {});

// A host text printed on lines of its own (a host exception that ends a
// run): each line cleaned and cut to lineLimit, each ending in a line end.
std::string hostLines(const std::string& text);

// A type as the description writes it: int, float, bool, string, or the
// word of an object type (Vector<float>, Map<int,ObjectRef>).
std::string plainTypeName(const std::type_info& type);

}  // namespace murvrun

#endif
