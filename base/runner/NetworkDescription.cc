#include "NetworkDescription.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ObjectParser.h"
#include "SharedObjects.h"
#include "String.h"
#include "net_types.h"

using namespace MURV;

namespace murvrun {

void fail(const std::string& where, int line, const std::string& what) { throw DescriptionError{where, line, what}; }

bool readWholeNumber(const std::string& text, long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  value = std::strtol(text.c_str(), nullptr, 10);
  return errno == 0;
}

namespace {

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

}  // namespace

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

}  // namespace murvrun
