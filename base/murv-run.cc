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
// Exit status: 0 after a run, 1 on a host exception, 2 on a fault in the
// command line or the description. Nodes already made are destroyed, in
// reverse order, whatever ends the run.
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// A fault in the description, thrown up to main so that the nodes already
// made are destroyed before the run ends.
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
      net.nodes[index[w[0]]].params.add(w[1], parseValue(w[2], value, path, line));
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

void usage() {
  std::cerr << "usage: murv-run [--toolbox PATH]... [--count N] NETWORK-FILE\n"
               "       murv-run [--toolbox PATH]... --list\n";
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> toolboxes;
  std::string networkPath;
  long countLimit = -1;
  bool list = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--toolbox" && i + 1 < argc) toolboxes.push_back(argv[++i]);
    else if (a == "--count" && i + 1 < argc && readWholeNumber(argv[i + 1], countLimit)) ++i;
    else if (a == "--list") list = true;
    else if (!a.empty() && a[0] != '-' && networkPath.empty()) networkPath = a;
    else usage();
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

  std::vector<Node*> nodes;
  std::map<std::string, Node*> byName;
  int status = 0;
  try {
    Network net = parse(networkPath);
    if (countLimit < 0) countLimit = net.iterations;
    for (const NodeDecl& decl : net.nodes) {
      _NodeFactory* factory = Node::getFactoryNamed(decl.type);
      if (!factory) fail(networkPath, decl.line, "unknown node type " + decl.type);
      Node* node = factory->Create(decl.name, decl.params);
      nodes.push_back(node);
      byName[decl.name] = node;
    }
    auto find = [&](const std::string& n, int line) {
      auto it = byName.find(n);
      if (it == byName.end()) fail(networkPath, line, "unknown node " + n);
      return it->second;
    };
    for (const Connection& c : net.connections) find(c.node, c.line)->connectToNode(c.input, find(c.from, c.line), c.output);
    struct Pull {
      Node* node;
      int id;
      std::string label;
      bool print;
    };
    std::vector<Pull> pulls;
    for (const Port& p : net.outputs) {
      Node* n = find(p.node, p.line);
      pulls.push_back(Pull{n, n->translateOutput(p.output), p.node + "." + p.output, p.print});
    }
    std::unique_ptr<Pull> eof;
    if (net.eof) {
      Node* n = find(net.eof->node, net.eof->line);
      eof.reset(new Pull{n, n->translateOutput(net.eof->output), "", false});
    }
    for (Node* n : nodes) n->initialize();

    for (int count = 0; countLimit < 0 || count < countLimit; ++count) {
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
