#ifndef MURV_NODE_H
#define MURV_NODE_H

#include <string>
#include <vector>

#include "ObjectRef.h"
#include "ParameterSet.h"

namespace MURV {

class Node;

class _NodeFactory {
public:
  explicit _NodeFactory(const std::string& factoryName) : name(factoryName) {}
  virtual const std::string& getName() { return name; }
  virtual Node* Create(const std::string& nodeName, const ParameterSet& params) = 0;
  virtual ~_NodeFactory() {}

protected:
  std::string name;
};

// Every node class has the constructor T(std::string name, ParameterSet
// params), so the node keeps copies of both; parameter objects stay shared.
template <class T> class NodeFactory : public _NodeFactory {
public:
  explicit NodeFactory(const std::string& factoryName) : _NodeFactory(factoryName) {}
  Node* Create(const std::string& nodeName, const ParameterSet& params) override {
    return new T(std::string(nodeName), ParameterSet(params));
  }
};

// One input port: where its objects come from.
struct NodeInput {
  std::string name;
  Node* node = nullptr;
  int outputID = -1;
  // Where the connection was asked for (the runner gives its statement),
  // said when the output it reads holds no object; connecting clears it.
  std::string missingObjectNote;
};

// Adds note, with the count, to the chain of e when e says that an output
// held no object for a count (the host's "No object buffered") and no note
// is on the chain yet: the first note added, on the way out, is the one of
// the request that failed. An empty note adds nothing. Answers e.
BaseException* noteMissingObject(BaseException* e, const std::string& note, int count);

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

}  // namespace MURV

#endif
