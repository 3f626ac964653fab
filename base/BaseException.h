#ifndef MURV_BASE_EXCEPTION_H
#define MURV_BASE_EXCEPTION_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace MURV {

class Node;

// Host exceptions are created with new and thrown by pointer; whoever catches
// one owns it. add() chains further exceptions behind this one, so a node can
// say where a failure passed through without losing the original.
class BaseException {
public:
  BaseException();
  BaseException(const BaseException&) = delete;
  BaseException& operator=(const BaseException&) = delete;
  virtual ~BaseException();
  virtual void print(std::ostream& out) const = 0;
  virtual void freeze() {}
  virtual BaseException* add(BaseException* e);

  // Prints this exception followed by every exception chained to it.
  void printAll(std::ostream& out) const;
  const std::vector<BaseException*>& chained() const { return chain; }
  std::string text() const;
  // Tells this exception from one made later at the same address.
  std::uint64_t serial() const { return serialNumber; }

private:
  std::vector<BaseException*> chain;
  std::uint64_t serialNumber;
};

class GeneralException : public BaseException {
public:
  GeneralException(std::string message, std::string file, int line);
  void print(std::ostream& out) const override;

  std::string message;
  std::string file;
  int line;
};

class NodeException : public BaseException {
public:
  // node may be null (the stream nodes' force-quit); the node's name is kept
  // so the exception still prints it after the node is gone.
  NodeException(Node* node, std::string message, const char* file, int line);
  void print(std::ostream& out) const override;

  std::string message;
  Node* node;
  std::string file;
  int line;
  bool frozen;
  std::string nodeName;
};

}  // namespace MURV

#endif
