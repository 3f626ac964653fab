#include "BaseException.h"

#include <atomic>
#include <sstream>

#include "Node.h"

namespace MURV {

namespace {
std::atomic<std::uint64_t> lastSerial{0};
}

BaseException::BaseException() : serialNumber(++lastSerial) {}

BaseException::~BaseException() {
  for (BaseException* e : chain) delete e;
}

BaseException* BaseException::add(BaseException* e) {
  if (e && e != this) chain.push_back(e);
  return this;
}

void BaseException::printAll(std::ostream& out) const {
  print(out);
  for (const BaseException* e : chain) e->printAll(out);
}

std::string BaseException::text() const {
  std::ostringstream out;
  printAll(out);
  return out.str();
}

GeneralException::GeneralException(std::string m, std::string f, int l)
    : message(std::move(m)), file(std::move(f)), line(l) {}

void GeneralException::print(std::ostream& out) const {
  out << file << ", line " << line << ": " << message << std::endl;
}

NodeException::NodeException(Node* n, std::string m, const char* f, int l)
    : message(std::move(m)), node(n), file(f ? f : ""), line(l), frozen(false),
      nodeName(n ? n->getName() : std::string()) {}

void NodeException::print(std::ostream& out) const {
  out << file << ", line " << line << ": ";
  if (!nodeName.empty()) out << "Node " << nodeName << ": ";
  out << message << std::endl;
}

}  // namespace MURV
