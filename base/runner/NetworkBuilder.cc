#include "NetworkBuilder.h"

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <utility>

#include "StopSignals.h"

using namespace MURV;

namespace murvrun {

std::string hostText(BaseException* e) {
  std::string text = e->text();
  delete e;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

namespace {

// A host text inside a set-up error: one line, and bounded, since it may
// echo what the description gave.
std::string hostExcerpt(BaseException* e) { return excerpt(hostText(e), 2 * quoteLimit); }
std::string hostExcerpt(const std::exception& e) { return excerpt(e.what(), 2 * quoteLimit); }

std::string portList(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : " ") + n;
  return list;
}

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

// A type as the description writes it: int, float, bool, string, or the
// word of an object type (Vector<float>, Map<int,ObjectRef>).
std::string plainTypeName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : typeNameOf(type);
  std::free(demangled);
  replaceAll(name, "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >", "string");
  replaceAll(name, "MURV::", "");
  replaceAll(name, "std::", "");
  replaceAll(name, ", ", ",");
  replaceAll(name, "> >", ">>");
  replaceAll(name, "RCPtr<Object>", "ObjectRef");
  // A boxed scalar is its value's type.
  for (const std::string& box :
       {std::string("NetCType<"), std::string("PrintableGenericType<"), std::string("GenericType<")})
    if (name.compare(0, box.size(), box) == 0 && name.back() == '>')
      name = name.substr(box.size(), name.size() - box.size() - 1);
  return name == "String" ? "string" : name;
}

// Edits (a letter added, dropped, changed, or two swapped) from a to b,
// letter case aside.
size_t editDistance(const std::string& a, const std::string& b) {
  auto same = [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
  };
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
      if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The param statements of decl the node did not read whose names are a
// likely misspelling of wanted, in file order, as "FILE:LINE: NAME". Only
// close names: a node that fails stops reading, so the statements it would
// have read next are unread too.
std::string likelyMisspellings(const NodeDecl& decl, const std::string& wanted, const std::string& path) {
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  std::vector<std::pair<int, std::string>> close;
  for (const auto& p : decl.paramLines)
    if (!reads.names.count(p.first) && editDistance(p.first, wanted) <= (wanted.size() > 4 ? 2u : 1u))
      close.emplace_back(p.second, p.first);
  std::sort(close.begin(), close.end());
  std::string list;
  for (const auto& c : close)
    list += (list.empty() ? "" : " or ") + path + ":" + std::to_string(c.first) + ": " + excerpt(c.second);
  return list;
}

// Makes the node of decl, telling on failure which parameter it was
// reading: a missing one at the node statement, one of the wrong type at
// its param statement. The reads stay recorded in decl.params.
Node* makeNode(NodeDecl& decl, const std::string& path) {
  _NodeFactory* factory = Node::getFactoryNamed(decl.type);
  if (!factory) fail(path, decl.line, "unknown node type " + excerpt(decl.type));
  decl.params.recordReads();
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  enum Cause { other, missing, cast };
  // plain: the runner's own words about the cause, before the host's text.
  auto readingError = [&](Cause cause, const std::string& text, const std::string& plain = "") {
    std::string what = decl.label();
    int line = decl.line;
    if (cause != other && !reads.last.empty()) {
      what += ": parameter " + excerpt(reads.last);
      auto it = decl.paramLines.find(reads.last);
      if (cause == cast && it != decl.paramLines.end()) line = it->second;
    }
    if (!plain.empty()) what += ": " + plain;
    return DescriptionError{path, line, what + ": " + text};
  };
  try {
    return factory->Create(decl.name, decl.params);
  } catch (BaseException* e) {
    // A node may read an optional parameter and go on without it: only
    // the exception of the read itself is the missing parameter's.
    const GeneralException* general = dynamic_cast<GeneralException*>(e);
    if (const GenericCastException* c = dynamic_cast<GenericCastException*>(e)) {
      std::string plain = "expected " + plainTypeName(c->wanted());
      auto given = decl.params.find(reads.last);
      if (given != decl.params.end() && given->second.get()) {
        const Object& value = *given->second;
        plain += ", given " + plainTypeName(typeid(value));
      }
      throw readingError(cast, hostExcerpt(e), plain);
    }
    if (reads.lastMissing && general && general->message == "Missing parameter: " + reads.last) {
      const std::string close = likelyMisspellings(decl, reads.last, path);
      throw readingError(missing, hostExcerpt(e), close.empty() ? "" : "perhaps misspelt as " + close);
    }
    throw readingError(other, hostExcerpt(e));
  } catch (std::exception& e) {  // std::bad_cast and the like, from a cast
    throw readingError(reads.lastMissing ? other : cast, hostExcerpt(e));
  }
}

void warnUnread(const NodeDecl& decl, const std::string& path) {
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  for (const auto& p : decl.paramLines)
    if (!reads.names.count(p.first))
      std::cerr << "murv-run: " << path << ":" << p.second << ": warning: " << decl.label() << ": parameter "
                << excerpt(p.first) << " is not read by the node" << std::endl;
}

// Nodes pull their inputs for the same count, so a cycle would recurse
// without end. The connections are added in file order, and the first one
// that closes a cycle is refused at its line, with the instances on the
// cycle in the direction the objects flow.
void refuseCycles(std::vector<const Connection*> inForce, const std::string& path) {
  std::sort(inForce.begin(), inForce.end(), [](const Connection* a, const Connection* b) { return a->line < b->line; });
  std::map<std::string, std::vector<std::string>> feeds;  // instance -> the instances it feeds
  // The instances from start to goal along the connections, or none.
  std::function<bool(const std::string&, const std::string&, std::map<std::string, bool>&, std::vector<std::string>&)>
      route = [&](const std::string& at, const std::string& goal, std::map<std::string, bool>& seen,
                  std::vector<std::string>& way) {
        way.push_back(at);
        if (at == goal) return true;
        if (!seen[at]) {
          seen[at] = true;
          for (const std::string& next : feeds[at])
            if (route(next, goal, seen, way)) return true;
        }
        way.pop_back();
        return false;
      };
  for (const Connection* c : inForce) {
    std::map<std::string, bool> seen;
    std::vector<std::string> way;
    if (route(c->node, c->from, seen, way)) {
      std::string cycle = c->from;
      for (const std::string& n : way) cycle += " -> " + n;
      fail(path, c->line, "connections form a cycle: " + excerpt(cycle));
    }
    feeds[c->from].push_back(c->node);
  }
}

std::string statementOf(const Connection& c) {
  return "connect " + c.node + " " + c.input + " " + c.from + " " + c.output;
}

}  // namespace

bool build(Network& net, const std::string& path, BuiltNetwork& built) {
  struct Made {
    Node* node;
    const NodeDecl* decl;
  };
  std::map<std::string, Made> byName;
  for (NodeDecl& decl : net.nodes) {
    // Before each node, too: a node that blocks while it is made (waiting
    // for a ROS master) only gives up on a signal that comes during that
    // wait.
    if (stopSignal()) return false;
    Node* node = makeNode(decl, path);
    built.nodes.push_back(node);
    byName[decl.name] = Made{node, &decl};
  }
  if (stopSignal()) return false;
  for (const NodeDecl& decl : net.nodes) warnUnread(decl, path);
  auto find = [&](const std::string& n, int line) {
    auto it = byName.find(n);
    if (it == byName.end()) fail(path, line, "unknown node " + excerpt(n));
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
           m.decl->label() + ": " + kind + " " + excerpt(name) + ": " + hostExcerpt(e) + " (its " + kind + "s: " + portList(names) + ")");
    }
  };
  auto during = [&](const Made& m, int line, const std::function<void()>& step) {
    try {
      step();
    } catch (BaseException* e) {
      fail(path, line, m.decl->label() + ": " + hostExcerpt(e));
    } catch (std::exception& e) {
      fail(path, line, m.decl->label() + ": " + hostExcerpt(e));
    }
  };
  // What a statement says when the output it asks for holds no object.
  auto noObject = [&](const Made& from, const std::string& output, int line, const std::string& statement) {
    return path + ":" + std::to_string(line) + ": " + excerpt(statement) + ": " + from.decl->label() +
           " wrote no object to output " + excerpt(output);
  };
  // A later connection to the same input replaces the earlier one.
  std::map<std::pair<std::string, int>, const Connection*> inForce;
  for (const Connection& c : net.connections) {
    Made to = find(c.node, c.line), from = find(c.from, c.line);
    int out = port(from, false, c.output, c.line), in = port(to, true, c.input, c.line);
    during(to, c.line, [&] {
      to.node->connectToNode(static_cast<unsigned>(in), from.node, static_cast<unsigned>(out));
      to.node->getInputs().at(static_cast<size_t>(in)).missingObjectNote =
          noObject(from, c.output, c.line, statementOf(c));
    });
    inForce[{c.node, in}] = &c;
  }
  std::vector<const Connection*> connections;
  for (const auto& c : inForce) connections.push_back(c.second);
  refuseCycles(connections, path);
  if (stopSignal()) return false;
  for (const Port& p : net.outputs) {
    Made m = find(p.node, p.line);
    const std::string statement = std::string(p.print ? "output " : "pull ") + p.node + " " + p.output;
    built.pulls.push_back(Pull{m.node, port(m, false, p.output, p.line), p.node + "." + p.output, p.print,
                               noObject(m, p.output, p.line, statement)});
  }
  if (net.eof) {
    const Port& p = *net.eof;
    Made m = find(p.node, p.line);
    built.eof.reset(new Pull{m.node, port(m, false, p.output, p.line), "", false,
                             noObject(m, p.output, p.line, "eof " + p.node + " " + p.output)});
  }
  for (const NodeDecl& decl : net.nodes) {
    if (stopSignal()) return false;
    const Made& m = byName.at(decl.name);
    during(m, decl.line, [&] { m.node->initialize(); });
  }
  return !stopSignal();
}

}  // namespace murvrun
