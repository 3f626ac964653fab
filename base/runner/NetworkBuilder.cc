#include "NetworkBuilder.h"

#include <functional>
#include <iostream>
#include <map>

using namespace MURV;

namespace murvrun {

std::string hostText(BaseException* e) {
  std::string text = e->text();
  delete e;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

namespace {

std::string portList(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : " ") + n;
  return list;
}

// Makes the node of decl, telling on failure which parameter it was
// reading: a missing one at the node statement, one of the wrong type at
// its param statement. The reads stay recorded in decl.params.
Node* makeNode(NodeDecl& decl, const std::string& path) {
  _NodeFactory* factory = Node::getFactoryNamed(decl.type);
  if (!factory) fail(path, decl.line, "unknown node type " + decl.type);
  decl.params.recordReads();
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  enum Cause { other, missing, cast };
  auto readingError = [&](Cause cause, const std::string& text) {
    std::string what = decl.label();
    int line = decl.line;
    if (cause != other && !reads.last.empty()) {
      what += ": parameter " + reads.last;
      auto it = decl.paramLines.find(reads.last);
      if (cause == cast && it != decl.paramLines.end()) line = it->second;
    }
    return DescriptionError{path, line, what + ": " + text};
  };
  try {
    return factory->Create(decl.name, decl.params);
  } catch (BaseException* e) {
    // A node may read an optional parameter and go on without it: only
    // the exception of the read itself is the missing parameter's.
    const GeneralException* general = dynamic_cast<GeneralException*>(e);
    Cause cause = other;
    if (dynamic_cast<GenericCastException*>(e)) cause = cast;
    else if (reads.lastMissing && general && general->message == "Missing parameter: " + reads.last) cause = missing;
    throw readingError(cause, hostText(e));
  } catch (std::exception& e) {  // std::bad_cast and the like, from a cast
    throw readingError(reads.lastMissing ? other : cast, e.what());
  }
}

void warnUnread(const NodeDecl& decl, const std::string& path) {
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  for (const auto& p : decl.paramLines)
    if (!reads.names.count(p.first))
      std::cerr << "murv-run: " << path << ":" << p.second << ": warning: " << decl.label() << ": parameter "
                << p.first << " is not read by the node" << std::endl;
}

}  // namespace

void build(Network& net, const std::string& path, BuiltNetwork& built) {
  struct Made {
    Node* node;
    const NodeDecl* decl;
  };
  std::map<std::string, Made> byName;
  for (NodeDecl& decl : net.nodes) {
    Node* node = makeNode(decl, path);
    built.nodes.push_back(node);
    byName[decl.name] = Made{node, &decl};
  }
  for (const NodeDecl& decl : net.nodes) warnUnread(decl, path);
  auto find = [&](const std::string& n, int line) {
    auto it = byName.find(n);
    if (it == byName.end()) fail(path, line, "unknown node " + n);
    return it->second;
  };
  // A port name the node does not know is reported with those it has.
  auto port = [&](const Made& m, bool input, const std::string& name, int line) {
    try {
      return input ? m.node->translateInput(name) : m.node->translateOutput(name);
    } catch (BaseException* e) {
      std::vector<std::string> names = m.node->getOutputNames();
      if (input) {
        names.clear();
        for (const NodeInput& in : m.node->getInputs()) names.push_back(in.name);
      }
      const std::string kind = input ? "input" : "output";
      fail(path, line,
           m.decl->label() + ": " + kind + " " + name + ": " + hostText(e) + " (its " + kind + "s: " + portList(names) + ")");
    }
  };
  auto during = [&](const Made& m, int line, const std::function<void()>& step) {
    try {
      step();
    } catch (BaseException* e) {
      fail(path, line, m.decl->label() + ": " + hostText(e));
    } catch (std::exception& e) {
      fail(path, line, m.decl->label() + ": " + e.what());
    }
  };
  for (const Connection& c : net.connections) {
    Made to = find(c.node, c.line), from = find(c.from, c.line);
    int out = port(from, false, c.output, c.line), in = port(to, true, c.input, c.line);
    during(to, c.line, [&] { to.node->connectToNode(static_cast<unsigned>(in), from.node, static_cast<unsigned>(out)); });
  }
  for (const Port& p : net.outputs) {
    Made m = find(p.node, p.line);
    built.pulls.push_back(Pull{m.node, port(m, false, p.output, p.line), p.node + "." + p.output, p.print});
  }
  if (net.eof) {
    Made m = find(net.eof->node, net.eof->line);
    built.eof.reset(new Pull{m.node, port(m, false, net.eof->output, net.eof->line), "", false});
  }
  for (const NodeDecl& decl : net.nodes) {
    const Made& m = byName.at(decl.name);
    during(m, decl.line, [&] { m.node->initialize(); });
  }
}

}  // namespace murvrun
