#ifndef MURV_NODE_H
#define MURV_NODE_H

#include <string>
#include <vector>

#include "ObjectRef.h"
#include "ParameterSet.h"

namespace MURV {

class Node;

// The host's abstract factory. Its virtual slots are getName, Create and
// the destructor, in this order, and NodeFactory<T> adds no member: a
// toolbox built against these headers lays its factories out the same way.
class _NodeFactory {
public:
  explicit _NodeFactory(const std::string& factoryName) : name(factoryName) {}
  virtual const std::string& getName() { return name; }
  virtual Node* Create(const std::string& nodeName, const ParameterSet& params) = 0;
  virtual ~_NodeFactory() {}

  // The port names a node of this type declares only when the network asks
  // for them (input true: inputs; false: outputs), so that a list of the
  // ports it has can name them before they are asked for. Not a slot of its
  // own: the lists are kept by type name (Node::portsOnRequest).
  std::vector<std::string> portsOnRequest(bool input) const;

protected:
  std::string name;
};

namespace detail {

// T::inputsOnRequest() and T::outputsOnRequest() where the class declares
// them, an empty list where it does not.
template <class T> auto inputsOnRequest(int) -> decltype(T::inputsOnRequest(), std::vector<std::string>()) {
  const auto& names = T::inputsOnRequest();
  return std::vector<std::string>(names.begin(), names.end());
}
template <class T> std::vector<std::string> inputsOnRequest(long) { return {}; }
template <class T> auto outputsOnRequest(int) -> decltype(T::outputsOnRequest(), std::vector<std::string>()) {
  const auto& names = T::outputsOnRequest();
  return std::vector<std::string>(names.begin(), names.end());
}
template <class T> std::vector<std::string> outputsOnRequest(long) { return {}; }

}  // namespace detail

// One input port: where its objects come from.
struct NodeInput {
  std::string name;
  Node* node = nullptr;
  int outputID = -1;
  // Where the connection was asked for (the runner gives its statement),
  // said when the output it reads holds no object; connecting clears it.
  std::string missingObjectNote;
  // What the input gave last, only to tell which input brought an object
  // that a cast then failed on: its address and count. A node that buffers
  // its outputs still holds it there when the cast fails, which tells it
  // from another object given the same address since; the object of a node
  // that keeps none is held here until the input's next read, its next
  // connection or the node's end. Holding costs every read a counted
  // reference more, which a buffered node spares.
  const Object* lastRead = nullptr;
  int lastCount = -1;
  bool fromBuffer = false;  // the node read from buffers its outputs
  ObjectRef held;
};

// The object input gave last, while it is known to be that object (see
// NodeInput); null otherwise.
ObjectRef lastBrought(const NodeInput& input);

// What Node::getInput throws for an input the network left unconnected, so
// that a runner can tell it from a node's own failures.
class InputNotConnected : public NodeException {
public:
  InputNotConnected(Node* node, const std::string& inputName);
  std::string input;
};

// Adds note, with the count, to the chain of e when e says that an output
// held no object for a count (the host's "No object buffered") and no note
// is on the chain yet: the first note added, on the way out, is the one of
// the request that failed. An empty note adds nothing. Answers e.
BaseException* noteMissingObject(BaseException* e, const std::string& note, int count);

// The failed cast on the chain of e (a FailedCast), or null.
BaseException* failedCastOn(BaseException* e);

// Claims the failed cast on the chain of e for node, when no node has
// claimed it yet: the cast was made by node's code, on the object that the
// one input of node that read it last brought, or on an element of the list
// or map of references it brought. Answers e.
BaseException* claimFailedCast(BaseException* e, Node* node);

class Node : public Object {
public:
  Node(std::string nodeName, const ParameterSet& params);
  ~Node() override;

  void printOn(std::ostream& out) const override;

  virtual void connectToNode(unsigned int in, Node* inputNode, unsigned int out);
  virtual int addOutput(const std::string& outputName);
  virtual int addInput(const std::string& inputName);
  virtual std::vector<NodeInput>& getInputs();
  virtual ObjectRef getOutput(int output_id, int count) = 0;
  virtual ObjectRef getOutputNamed(const std::string& outputName, int count);
  // Connects input port in to output port out of inputNode, asking both
  // nodes to translate the port names into ids first.
  virtual void connectToNode(const std::string& in, Node* inputNode, const std::string& out);
  virtual void initialize();
  virtual bool hasOutput(int output_id) const;
  virtual void request(int outputID, const ParameterSet& req);
  virtual int translateInput(const std::string& inputName);
  virtual int translateOutput(const std::string& outputName);
  virtual int getInputID(const std::string& inputName);
  virtual int getOutputID(const std::string& outputName);

  // The registry of node types, in the order they were registered. A name
  // registered twice is refused (and said so on standard error).
  static int addFactory(const std::string& factoryName, _NodeFactory* factory);
  static _NodeFactory* getFactoryNamed(const std::string& factoryName);
  static std::vector<std::string> factoryNames();
  // The ports that nodes of type typeName declare only on request, as the
  // first factory made for that name gave them (none for a name without).
  static std::vector<std::string> portsOnRequest(const std::string& typeName, bool input);
  static void notePortsOnRequest(const std::string& typeName, std::vector<std::string> inputs,
                                 std::vector<std::string> outputs);

  const std::string& getName() const { return name; }
  // The object of input inputID for count; a missing one is noted with the
  // input's missingObjectNote.
  ObjectRef getInput(int inputID, int count);
  bool isInitialized() const { return initialized; }
  const std::vector<std::string>& getOutputNames() const { return outputNames; }

protected:
  std::string name;
  ParameterSet parameters;
  std::vector<std::string> outputNames;
  std::vector<NodeInput> inputs;
  bool initialized = false;
};

// Every node class has the constructor T(std::string name, ParameterSet
// params), so the node keeps copies of both; parameter objects stay shared.
// Making the factory notes the ports T declares on request under its name.
template <class T> class NodeFactory : public _NodeFactory {
public:
  explicit NodeFactory(const std::string& factoryName) : _NodeFactory(factoryName) {
    Node::notePortsOnRequest(factoryName, detail::inputsOnRequest<T>(0), detail::outputsOnRequest<T>(0));
  }
  Node* Create(const std::string& nodeName, const ParameterSet& params) override {
    return new T(std::string(nodeName), ParameterSet(params));
  }
};

}  // namespace MURV

#endif
