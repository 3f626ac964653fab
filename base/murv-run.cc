// Runs a network of toolbox nodes as the host does: loads the toolboxes with
// dlopen, builds the network from a text description, initialises the nodes
// in creation order, pulls iteration counts and prints the outputs, and
// destroys the nodes in reverse order.
//
// Description format, one statement per line ('#' starts a comment):
//   node <instance> <NodeType>
//   param <instance> <NAME> int|float|bool|string|object <value>
//   connect <instance> <INPUT> <from-instance> <OUTPUT>
//   output <instance> <OUTPUT>        printed on every iteration
//   pull <instance> <OUTPUT>          computed on every iteration, not printed
//   eof <instance> <OUTPUT>           the run ends when this output is false
//   iterations <N>                    the most counts to run
//
// Exit status: 0 after a run; 1 when a host exception ends the run; 2 for a
// fault in the command line or the description, which takes in every error
// while the nodes are made, connected and initialised; 128 + the signal
// when SIGINT or SIGTERM stops the run after the iteration in progress.
// Nodes already made are destroyed, in reverse order, whatever ends the run.
#include <dlfcn.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Node.h"
#include "ObjectParser.h"
#include "SharedObjects.h"
#include "String.h"
#include "net_types.h"

using namespace MURV;

namespace {

struct NodeDecl {
  std::string name, type;
  ParameterSet params;
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

[[noreturn]] void fail(const std::string& where, int line, const std::string& what) {
  throw DescriptionError{where, line, what};
}

// Digits only: no sign, no fraction, no trailing text.
bool readWholeNumber(const std::string& text, long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  value = std::strtol(text.c_str(), nullptr, 10);
  return errno == 0;
}

// The rest of the line, without the blanks around it.
std::string restOfLine(std::istream& in) {
  std::string value;
  std::getline(in >> std::ws, value);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
  return value;
}

ObjectRef parseValue(const std::string& kind, const std::string& text, const std::string& where, int line) {
  std::istringstream in(text);
  if (kind == "int") {
    int v;
    if (!(in >> v) || !(in >> std::ws).eof()) fail(where, line, "bad int value '" + text + "'");
    return ObjectRef(new NetCType<int>(v));
  }
  if (kind == "float") {
    float v;
    if (!(in >> v) || !(in >> std::ws).eof()) fail(where, line, "bad float value '" + text + "'");
    return ObjectRef(new NetCType<float>(v));
  }
  if (kind == "bool") {
    if (text == "true") return TrueObject;
    if (text == "false") return FalseObject;
    fail(where, line, "bad bool value '" + text + "' (true or false)");
  }
  if (kind == "string") return ObjectRef(new String(text));
  if (kind == "object") {
    ObjectRef ref;
    in >> ref;  // a host exception here is reported by the caller
    if (!(in >> std::ws).eof()) fail(where, line, "bad object value '" + text + "': text after the object");
    return ref;
  }
  fail(where, line, "unknown parameter kind '" + kind + "'");
}

Network parse(const std::string& path) {
  std::ifstream file(path);
  if (!file) fail(path, 0, "cannot open the network description");
  Network net;
  std::map<std::string, size_t> index;
  std::string text;
  int line = 0;
  while (std::getline(file, text)) {
    ++line;
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream in(text);
    std::string word;
    if (!(in >> word)) continue;
    auto words = [&](int n) {
      std::vector<std::string> w(n);
      for (auto& s : w)
        if (!(in >> s)) fail(path, line, "'" + word + "' takes " + std::to_string(n) + " words");
      return w;
    };
    if (word == "node") {
      auto w = words(2);
      if (index.count(w[0])) fail(path, line, "node " + w[0] + " declared twice");
      index[w[0]] = net.nodes.size();
      NodeDecl decl;
      decl.name = w[0];
      decl.type = w[1];
      decl.line = line;
      net.nodes.push_back(decl);
    } else if (word == "param") {
      auto w = words(3);
      std::string value = restOfLine(in);
      if (!index.count(w[0])) fail(path, line, "unknown node " + w[0]);
      NodeDecl& decl = net.nodes[index[w[0]]];
      decl.params.add(w[1], parseValue(w[2], value, path, line));
      decl.paramLines[w[1]] = line;
    } else if (word == "connect") {
      auto w = words(4);
      net.connections.push_back(Connection{w[0], w[1], w[2], w[3], line});
    } else if (word == "output" || word == "pull") {
      auto w = words(2);
      net.outputs.push_back(Port{w[0], w[1], word == "output", line});
    } else if (word == "eof") {
      auto w = words(2);
      net.eof.reset(new Port{w[0], w[1], false, line});
    } else if (word == "iterations") {
      std::string value = restOfLine(in);
      if (!readWholeNumber(value, net.iterations))
        fail(path, line, "bad iterations value '" + value + "' (a whole number)");
    } else {
      fail(path, line, "unknown statement '" + word + "'");
    }
  }
  return net;
}

void printUsage(std::ostream& out) {
  out << "usage: murv-run [--toolbox PATH]... [--count N] NETWORK-FILE\n"
         "       murv-run [--toolbox PATH]... --list\n"
         "       murv-run --help\n";
}

void usage() {
  printUsage(std::cerr);
  std::exit(2);
}

// A host exception's text, without its last line end; the exception is
// deleted.
std::string hostText(BaseException* e) {
  std::string text = e->text();
  delete e;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

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

// The signal that asked the run to stop, or 0. The handler may run on any
// of the process's threads: a lock-free atomic is safe there.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only use lock-free atomics");

// A second signal finds the run not stopped yet (a node blocked in its
// set-up, say, waiting for a ROS master that does not answer): it then
// takes the signal's default action, as it would without the runner.
extern "C" void onStopSignal(int sig) {
  if (stopSignal.exchange(sig) == 0) return;
  struct sigaction fallback;
  std::memset(&fallback, 0, sizeof fallback);
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  raise(sig);
}

// Installed whatever the disposition was: a background job of a shell
// starts with SIGINT ignored. Stream nodes install their own handlers later
// and pass the signals on to this one.
void installStopHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> toolboxes;
  std::string networkPath;
  long countLimit = -1;
  bool list = false, help = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--toolbox" && i + 1 < argc) toolboxes.push_back(argv[++i]);
    else if (a == "--count" && i + 1 < argc && readWholeNumber(argv[i + 1], countLimit)) ++i;
    else if (a == "--list") list = true;
    else if (a == "--help") help = true;
    else if (!a.empty() && a[0] != '-' && networkPath.empty()) networkPath = a;
    else usage();
  }
  if (help) {
    printUsage(std::cout);
    return 0;
  }
  if (!list && networkPath.empty()) usage();

  if (toolboxes.empty()) toolboxes.push_back("libmurv-ros.tlb.so");
  for (const std::string& toolbox : toolboxes) {
    if (!dlopen(toolbox.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
      std::cerr << "murv-run: cannot load " << toolbox << ": " << dlerror() << std::endl;
      return 2;
    }
  }
  if (list) {
    for (const auto& v : Object::moduleVersions())
      std::cout << "module " << v.module << " revision " << v.revision << " version " << v.version << "\n";
    for (const auto& n : Node::factoryNames()) std::cout << "node type " << n << "\n";
    std::cout.flush();
    return 0;
  }

  installStopHandlers();
  std::vector<Node*> nodes;
  int status = 0;
  try {
    Network net = parse(networkPath);
    if (countLimit < 0) countLimit = net.iterations;
    struct Made {
      Node* node;
      const NodeDecl* decl;
    };
    std::map<std::string, Made> byName;
    for (NodeDecl& decl : net.nodes) {
      Node* node = makeNode(decl, networkPath);
      nodes.push_back(node);
      byName[decl.name] = Made{node, &decl};
    }
    for (const NodeDecl& decl : net.nodes) warnUnread(decl, networkPath);
    auto find = [&](const std::string& n, int line) {
      auto it = byName.find(n);
      if (it == byName.end()) fail(networkPath, line, "unknown node " + n);
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
        fail(networkPath, line,
             m.decl->label() + ": " + kind + " " + name + ": " + hostText(e) + " (its " + kind + "s: " + portList(names) + ")");
      }
    };
    auto during = [&](const Made& m, int line, const std::function<void()>& step) {
      try {
        step();
      } catch (BaseException* e) {
        fail(networkPath, line, m.decl->label() + ": " + hostText(e));
      } catch (std::exception& e) {
        fail(networkPath, line, m.decl->label() + ": " + e.what());
      }
    };
    for (const Connection& c : net.connections) {
      Made to = find(c.node, c.line), from = find(c.from, c.line);
      int out = port(from, false, c.output, c.line), in = port(to, true, c.input, c.line);
      during(to, c.line, [&] { to.node->connectToNode(static_cast<unsigned>(in), from.node, static_cast<unsigned>(out)); });
    }
    struct Pull {
      Node* node;
      int id;
      std::string label;
      bool print;
    };
    std::vector<Pull> pulls;
    for (const Port& p : net.outputs) {
      Made m = find(p.node, p.line);
      pulls.push_back(Pull{m.node, port(m, false, p.output, p.line), p.node + "." + p.output, p.print});
    }
    std::unique_ptr<Pull> eof;
    if (net.eof) {
      Made m = find(net.eof->node, net.eof->line);
      eof.reset(new Pull{m.node, port(m, false, net.eof->output, net.eof->line), "", false});
    }
    for (const NodeDecl& decl : net.nodes) {
      const Made& m = byName.at(decl.name);
      during(m, decl.line, [&] { m.node->initialize(); });
    }

    for (int count = 0; countLimit < 0 || count < countLimit; ++count) {
      if (stopSignal.load()) break;
      if (eof && !dereference_cast<bool>(eof->node->getOutput(eof->id, count))) break;
      for (const Pull& p : pulls) {
        ObjectRef value = p.node->getOutput(p.id, count);
        if (!p.print) continue;
        std::cout << "[" << count << "] " << p.label << " = ";
        if (value.get()) value->printOn(std::cout);
        else std::cout << "nil";
        std::cout << std::endl;
      }
      if (!eof && countLimit < 0 && pulls.empty()) break;
    }
    if (stopSignal.load()) status = 128 + stopSignal.load();
  } catch (DescriptionError& e) {
    std::cout.flush();
    std::cerr << "murv-run: " << e.where << ":" << e.line << ": " << e.what << std::endl;
    status = 2;
  } catch (BaseException* e) {
    std::cout.flush();
    std::cerr << "murv-run: host exception:" << std::endl;
    e->printAll(std::cerr);
    delete e;
    status = 1;
  } catch (std::exception& e) {
    std::cout.flush();
    std::cerr << "murv-run: " << e.what() << std::endl;
    status = 1;
  }
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) (*it)->unref();
  return status;
}
