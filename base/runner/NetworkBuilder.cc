#include "NetworkBuilder.h"

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>
#include <utility>

#include "NearNames.h"
#include "PrintableText.h"
#include "RunStop.h"
#include "StandardStreams.h"

using namespace MURV;

namespace murvrun {

std::string hostText(BaseException* e) {
  std::string text = e->text();
  delete e;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

namespace {

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

// How much of a user's text a host text keeps when the error quotes it
// already.
constexpr std::size_t echoLimit = 16;

}  // namespace

std::string hostExcerpt(const std::string& text, std::initializer_list<std::string> echoed) {
  std::string shown = text;
  for (const std::string& user : echoed)
    if (user.size() > 2 * echoLimit) replaceAll(shown, user, excerpt(user, echoLimit));
  // As much as the line holds: a node's refusal ends with what it takes.
  return excerpt(shown, lineLimit);
}

std::string hostLines(const std::string& text) {
  std::string lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines += excerpt(text.substr(start, end - start), lineLimit) + "\n";
    start = end + 1;
  }
  return lines;
}

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

namespace {

// The ports a node of type declares only when the network asks for them.
std::vector<std::string> portsOnRequest(const std::string& type, bool input) {
  _NodeFactory* factory = Node::getFactoryNamed(type);
  return factory ? factory->portsOnRequest(input) : std::vector<std::string>();
}

// The ports node has declared so far.
std::vector<std::string> declaredPorts(Node& node, bool input) {
  if (!input) return node.getOutputNames();
  std::vector<std::string> names;
  for (const NodeInput& in : node.getInputs()) names.push_back(in.name);
  return names;
}

// The inputs of node that no statement connects: those it has declared,
// then those its type declares only when they are connected.
std::vector<std::string> unconnectedInputs(Node& node, const NodeDecl& decl) {
  std::vector<std::string> declared, open;
  for (const NodeInput& in : node.getInputs()) {
    declared.push_back(in.name);
    if (!in.node) open.push_back(in.name);
  }
  for (const std::string& n : portsOnRequest(decl.type, true))
    if (std::find(declared.begin(), declared.end(), n) == declared.end()) open.push_back(n);
  return open;
}

// The ports of node: those it has declared, then those its type declares
// only when asked for them; without refused, a name the node declared as it
// was asked for it but refuses.
std::string portList(Node& node, const NodeDecl& decl, bool input, const std::string& refused) {
  std::vector<std::string> names = declaredPorts(node, input);
  for (const std::string& n : portsOnRequest(decl.type, input))
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  names.erase(std::remove(names.begin(), names.end(), refused), names.end());
  return names.empty() ? "none" : excerpt(joined(names, " "));
}

// The param statements of decl the node did not read whose names are a
// likely misspelling of wanted, as "NAME (line N)": the three closest, in
// file order. Only close names: a node that fails stops reading, so the
// statements it would have read next are unread too.
std::string likelyMisspellings(const NodeDecl& decl, const std::string& wanted) {
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  std::vector<std::pair<int, std::string>> unread;  // line, name
  for (const auto& p : decl.paramLines)
    if (!reads.names.count(p.first)) unread.push_back({p.second, p.first});
  std::sort(unread.begin(), unread.end());
  std::vector<std::string> names;
  for (const auto& u : unread) names.push_back(u.second);
  std::vector<std::size_t> found = nearest(wanted, names);
  std::sort(found.begin(), found.end());
  std::vector<std::string> shown;
  for (std::size_t i : found)
    shown.push_back(excerpt(unread[i].second, quoteLimit / 4) + " (line " + std::to_string(unread[i].first) + ")");
  return joined(shown, " or ");
}

// The first of the parameters given to decl that text names, as a whole
// word, or "".
std::string namedParameter(const NodeDecl& decl, const std::string& text) {
  auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  std::string first;
  size_t firstAt = std::string::npos;
  for (const auto& p : decl.paramLines) {
    const std::string& name = p.first;
    if (name.empty()) continue;
    for (size_t at = text.find(name); at != std::string::npos && at < firstAt; at = text.find(name, at + 1)) {
      const size_t after = at + name.size();
      if ((at == 0 || !wordChar(text[at - 1])) && (after == text.size() || !wordChar(text[after]))) {
        first = name;
        firstAt = at;
        break;
      }
    }
  }
  return first;
}

// A node's own refusal that names one of its parameters, as a fault of
// that parameter's param statement; false when e names none.
bool refusedParameter(const NodeDecl& decl, BaseException* e, const std::string& path, DescriptionError& error) {
  const NodeException* n = dynamic_cast<NodeException*>(e);
  const std::string name = n ? namedParameter(decl, n->message) : "";
  if (name.empty()) return false;
  error = DescriptionError{path, decl.paramLines.at(name),
                           "param " + excerpt(name) + " of " + decl.label() + ": " +
                               hostExcerpt(hostText(e), {decl.name, name})};
  return true;
}

// Makes the node of decl, telling on failure which parameter it was
// reading: a missing one at the node statement, one of the wrong type at
// its param statement, and one whose value the node refuses by name at its
// param statement too. The reads stay recorded in decl.params.
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
  // The host's text, read once the node has failed: the parameter it was
  // reading is known then.
  auto echoed = [&](const std::string& text) { return hostExcerpt(text, {decl.name, reads.last}); };
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
      throw readingError(cast, echoed(hostText(e)), plain);
    }
    if (reads.lastMissing && general && general->message == "Missing parameter: " + reads.last) {
      const std::string hints = likelyMisspellings(decl, reads.last);
      throw readingError(missing, echoed(hostText(e)), hints.empty() ? "" : "perhaps misspelt as " + hints);
    }
    DescriptionError refused;
    if (refusedParameter(decl, e, path, refused)) throw refused;
    throw readingError(other, echoed(hostText(e)));
  } catch (std::exception& e) {  // std::bad_cast and the like, from a cast
    throw readingError(reads.lastMissing ? other : cast, echoed(e.what()));
  }
}

void warnUnread(const NodeDecl& decl, const std::string& path) {
  const ParameterSet::Reads& reads = *decl.params.readsRecorded();
  for (const auto& p : decl.paramLines)
    if (!reads.names.count(p.first))
      say(location(path, p.second) + "warning: " + decl.label() + ": parameter " + excerpt(p.first) +
          " is not read by the node");
}

// The output a node's message refuses ("NAME is not supported.", maybe
// with an explanation after it), or "".
std::string refusedOutput(const std::string& message) {
  static const std::string refused = " is not supported.";
  const size_t at = message.find(refused);
  if (at == 0 || at == std::string::npos) return "";
  const std::string name = message.substr(0, at);
  if (name.find_first_of(" \t\n") != std::string::npos) return "";
  const size_t after = at + refused.size();
  return after == message.size() || message[after] == ' ' ? name : "";
}

std::string statementOf(const Connection& c) {
  return "connect " + c.node + " " + c.input + " " + c.from + " " + c.output;
}

}  // namespace

// Where an input name the node took for an input of another name (an
// alias) is the likely fault: when a second connect statement lands on the
// same input under another name, or when the node has an input it declares
// on request, close to the alias, that no statement connects.
struct InputAlias {
  const Connection* statement;
  std::string taken;  // the name of the input it landed on
};

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
    built.declOf[node] = &decl;
    byName[decl.name] = Made{node, &decl};
  }
  if (stopSignal()) return false;
  for (const NodeDecl& decl : net.nodes) warnUnread(decl, path);
  // Every statement names a declared instance: the description was checked.
  auto find = [&](const std::string& n) { return byName.at(n); };
  // A port refused, with the ports the node has: the list, which says what
  // to write, stays whole when the line is cut.
  auto refusal = [&](const Made& m, bool input, const std::string& name, const std::string& why,
                     const std::string& unlisted) {
    const std::string kind = input ? "input" : "output";
    const std::string ports = " (its " + kind + "s: " + portList(*m.node, *m.decl, input, unlisted) + ")";
    const std::string head = m.decl->label() + ": " + kind + " " + excerpt(name) + ": " + why;
    return excerpt(head, lineLimit - murvtext::characterCount(ports) - std::string("...").size()) + ports;
  };
  // A port name the node does not know is reported with those it has. Each
  // name is translated once: a node declares a port it makes on request as
  // it translates its name, and a later statement naming the same port
  // means the same port.
  std::map<std::tuple<std::string, bool, std::string>, int> translated;  // (instance, input, name) -> id
  auto port = [&](const Made& m, bool input, const std::string& name, int line) {
    auto known = translated.find({m.decl->name, input, name});
    if (known != translated.end()) return known->second;
    try {
      const int id = input ? m.node->translateInput(name) : m.node->translateOutput(name);
      translated[{m.decl->name, input, name}] = id;
      return id;
    } catch (BaseException* e) {
      // A port the node has stays on its list, whatever the node says of it.
      const std::vector<std::string> has = declaredPorts(*m.node, input);
      const bool listed = std::find(has.begin(), has.end(), name) != has.end();
      fail(path, line,
           refusal(m, input, name, hostExcerpt(hostText(e), {m.decl->name, name}), listed ? std::string() : name));
    }
  };
  auto during = [&](const Made& m, int line, const std::function<void()>& step) {
    try {
      step();
    } catch (BaseException* e) {
      fail(path, line, m.decl->label() + ": " + hostExcerpt(hostText(e), {m.decl->name}));
    } catch (std::exception& e) {
      fail(path, line, m.decl->label() + ": " + hostExcerpt(e.what(), {m.decl->name}));
    }
  };
  // What a statement says when the output it asks for holds no object,
  // with the inputs of the node that no statement connects: a node that
  // reads no object writes none either.
  auto noObject = [&](const Made& from, const std::string& output, int line, const std::string& statement) {
    const std::vector<std::string> open = unconnectedInputs(*from.node, *from.decl);
    const std::string inputs = open.size() == 1 ? "input " + open[0] + " is" : "inputs " + joined(open, ", ") + " are";
    return location(path, line) + excerpt(statement) + ": " + from.decl->label() +
           (open.empty() ? "" : ", whose " + excerpt(inputs) + " not connected,") + " wrote no object to output " +
           excerpt(output);
  };
  // A later connection to the same input replaces the earlier one.
  std::map<std::pair<std::string, int>, const Connection*> inForce;
  std::map<std::string, std::vector<InputAlias>> aliases;  // by instance
  for (const Connection& c : net.connections) {
    Made to = find(c.node), from = find(c.from);
    int out = port(from, false, c.output, c.line), in = port(to, true, c.input, c.line);
    const std::string taken = to.node->getInputs().at(static_cast<size_t>(in)).name;
    auto earlier = inForce.find({c.node, in});
    if (earlier != inForce.end() && earlier->second->input != c.input) {
      // The statement that named the input otherwise than the node does.
      const Connection& alias = c.input != taken ? c : *earlier->second;
      const Connection& other = &alias == &c ? *earlier->second : c;
      fail(path, alias.line,
           refusal(to, true, alias.input,
                   "taken as " + taken + ", which line " + std::to_string(other.line) + " connects as well",
                   alias.input));
    }
    if (c.input != taken) aliases[c.node].push_back(InputAlias{&c, taken});
    during(to, c.line,
           [&] { to.node->connectToNode(static_cast<unsigned>(in), from.node, static_cast<unsigned>(out)); });
    inForce[{c.node, in}] = &c;
  }
  for (const auto& a : aliases) {
    const Made& m = byName.at(a.first);
    for (const InputAlias& alias : a.second)
      for (const std::string& n : unconnectedInputs(*m.node, *m.decl))
        if (isMisspelling(alias.statement->input, n))
          fail(path, alias.statement->line,
               refusal(m, true, alias.statement->input,
                       "taken as " + alias.taken + ", and " + n + " is not connected: perhaps " + n + " was meant",
                       alias.statement->input));
  }
  // Once every input has its connection, which the notes name when one is
  // missing.
  for (const auto& f : inForce) {
    const Connection& c = *f.second;
    Node* node = find(c.node).node;
    node->getInputs().at(static_cast<size_t>(f.first.second)).missingObjectNote =
        noObject(find(c.from), c.output, c.line, statementOf(c));
    built.connectLines[{node, f.first.second}] = c.line;
  }
  if (stopSignal()) return false;
  for (const Port& p : net.outputs) {
    Made m = find(p.node);
    const std::string statement = std::string(p.print ? "output " : "pull ") + p.node + " " + p.output;
    built.pulls.push_back(Pull{m.node, port(m, false, p.output, p.line), excerpt(p.node) + "." + excerpt(p.output),
                               p.print, noObject(m, p.output, p.line, statement), p.line});
  }
  if (net.eof) {
    const Port& p = *net.eof;
    Made m = find(p.node);
    built.eof.reset(new Pull{m.node, port(m, false, p.output, p.line), "", false,
                             noObject(m, p.output, p.line, "eof " + p.node + " " + p.output), p.line});
  }
  // The first statement that asked for output name of instance, or 0.
  auto askedFor = [&](const std::string& instance, const std::string& name) {
    int first = 0;
    auto take = [&](int line) {
      if (!first || line < first) first = line;
    };
    for (const Connection& c : net.connections)
      if (c.from == instance && c.output == name) take(c.line);
    for (const Port& p : net.outputs)
      if (p.node == instance && p.output == name) take(p.line);
    if (net.eof && net.eof->node == instance && net.eof->output == name) take(net.eof->line);
    return first;
  };
  for (const NodeDecl& decl : net.nodes) {
    if (stopSignal()) return false;
    const Made& m = byName.at(decl.name);
    try {
      m.node->initialize();
    } catch (BaseException* e) {
      // A node that refuses an output it was asked for ("X is not
      // supported.", maybe with why): the fault is the statement that
      // asked. Then one that refuses a parameter's value: the fault is its
      // param statement.
      const NodeException* n = dynamic_cast<NodeException*>(e);
      const std::string name = n ? refusedOutput(n->message) : "";
      if (const int line = name.empty() ? 0 : askedFor(decl.name, name))
        fail(path, line, refusal(m, false, name, hostExcerpt(hostText(e), {decl.name, name}), name));
      DescriptionError refused;
      if (refusedParameter(decl, e, path, refused)) throw refused;
      during(m, decl.line, [&] { throw e; });
    } catch (std::exception& e) {
      fail(path, decl.line, m.decl->label() + ": " + hostExcerpt(e.what(), {decl.name}));
    }
  }
  // Nodes compute only what is asked of them: such a network would do
  // nothing and end as if it had run. Said last, once the nodes have taken
  // their parameters and ports, at the last statement, after which the
  // missing one would go.
  if (built.pulls.empty() && !built.eof)
    fail(path, net.lastStatement,
         "nothing asks for an output, so no node would run: add 'output INSTANCE OUTPUT' to print one, "
         "'pull INSTANCE OUTPUT' to compute one, or 'eof INSTANCE OUTPUT' to run until it is false");
  return !stopSignal();
}

}  // namespace murvrun
