#include "Node.h"

#include <iostream>
#include <map>
#include <mutex>
#include <utility>

#include "BufferedNode.h"
#include "Map.h"
#include "Vector.h"

namespace MURV {

namespace {

struct FactoryRegistry {
  std::mutex lock;
  std::vector<std::string> order;
  std::map<std::string, _NodeFactory*> byName;
};

FactoryRegistry& factories() {
  static FactoryRegistry* registry = new FactoryRegistry;  // factories live for the process
  return *registry;
}

// The ports each node type declares on request, by type name.
struct PortsOnRequest {
  std::vector<std::string> inputs, outputs;
};
struct PortsTable {
  std::mutex lock;
  std::map<std::string, PortsOnRequest> byType;
};

PortsTable& portsTable() {
  static PortsTable* table = new PortsTable;  // read while factories live, for the process
  return *table;
}

// The frame noteMissingObject() adds: one line, the note and the count.
class MissingObjectNote : public BaseException {
public:
  explicit MissingObjectNote(std::string t) : text(std::move(t)) {}
  void print(std::ostream& out) const override { out << text << std::endl; }

private:
  std::string text;
};

// The buffer's own text, which stays as it is, tells the failure.
bool isNoObject(const BaseException* e) {
  const GeneralException* g = dynamic_cast<const GeneralException*>(e);
  static const std::string noObject = "No object buffered for count ";
  return g && g->file == "Buffer" && g->message.compare(0, noObject.size(), noObject) == 0;
}

bool saysNoObject(const BaseException* e) {
  if (isNoObject(e)) return true;
  for (const BaseException* c : e->chained())
    if (saysNoObject(c)) return true;
  return false;
}

bool hasNote(const BaseException* e) {
  if (dynamic_cast<const MissingObjectNote*>(e)) return true;
  for (const BaseException* c : e->chained())
    if (hasNote(c)) return true;
  return false;
}

BaseException* castIn(BaseException* e) {
  if (dynamic_cast<FailedCast*>(e)) return e;
  for (BaseException* c : e->chained())
    if (BaseException* f = castIn(c)) return f;
  return nullptr;
}

// A failure on its way out of a long chain of nodes gathers a frame at every
// node, and every node looks at it: read whole each time, a chain of n
// nodes would take n * n steps. Frames are only ever added, and no answer
// can turn false again, so each thread keeps how far it has read the
// exception it looked at last.
struct ChainReading {
  std::uint64_t serial = 0;
  std::size_t read = 0;
  bool noObject = false, noted = false;
  BaseException* cast = nullptr;  // the first failed cast on the chain
};
thread_local ChainReading reading;

const ChainReading& readChain(BaseException* e) {
  if (reading.serial != e->serial()) {
    reading = ChainReading();
    reading.serial = e->serial();
    reading.noObject = isNoObject(e);
    reading.noted = dynamic_cast<const MissingObjectNote*>(e) != nullptr;
    if (dynamic_cast<FailedCast*>(e)) reading.cast = e;
  }
  for (const std::vector<BaseException*>& frames = e->chained(); reading.read < frames.size(); ++reading.read) {
    reading.noObject = reading.noObject || saysNoObject(frames[reading.read]);
    reading.noted = reading.noted || hasNote(frames[reading.read]);
    if (!reading.cast) reading.cast = castIn(frames[reading.read]);
  }
  return reading;
}

// Whether o is the object r holds or one of its elements, when it holds a
// list or a map of references: nodes take the sources, the per-source data
// and the parameter sets out of those.
bool holds(const ObjectRef& r, const Object* o) {
  if (r.get() == o) return true;
  if (const Vector<ObjectRef>* v = dynamic_cast<const Vector<ObjectRef>*>(r.get())) {
    for (const ObjectRef& element : *v)
      if (element.get() == o) return true;
  } else if (const Map<int, ObjectRef>* m = dynamic_cast<const Map<int, ObjectRef>*>(r.get())) {
    for (const auto& entry : *m)
      if (entry.second.get() == o) return true;
  }
  return false;
}

}  // namespace

ObjectRef lastBrought(const NodeInput& input) {
  if (!input.fromBuffer) return input.held;
  const ObjectRef kept = static_cast<const BufferedNode*>(input.node)->buffered(input.outputID, input.lastCount);
  return kept.get() == input.lastRead ? kept : ObjectRef();
}

BaseException* noteMissingObject(BaseException* e, const std::string& note, int count) {
  if (!e || note.empty()) return e;
  const ChainReading& chain = readChain(e);
  if (!chain.noObject || chain.noted) return e;
  return e->add(new MissingObjectNote(note + " for count " + std::to_string(count)));
}

BaseException* failedCastOn(BaseException* e) { return e ? readChain(e).cast : nullptr; }

BaseException* claimFailedCast(BaseException* e, Node* node) {
  FailedCast* cast = dynamic_cast<FailedCast*>(failedCastOn(e));
  if (!cast || cast->node || !node) return e;
  cast->node = node;
  const std::vector<NodeInput>& inputs = node->getInputs();
  for (std::size_t i = 0; cast->object && i < inputs.size(); ++i) {
    if (!holds(lastBrought(inputs[i]), cast->object)) continue;
    // Two inputs that brought the same object leave it open which one the
    // cast was made on.
    if (cast->input != -1) {
      cast->input = -1;
      break;
    }
    cast->input = static_cast<int>(i);
  }
  return e;
}

InputNotConnected::InputNotConnected(Node* node, const std::string& inputName)
    : NodeException(node, "Input " + inputName + " is not connected", "Node", 0), input(inputName) {}

int Node::addFactory(const std::string& factoryName, _NodeFactory* factory) {
  FactoryRegistry& r = factories();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!factory || r.byName.count(factoryName)) {
    std::cerr << "Node::addFactory: refusing to register node type '" << factoryName << "': "
              << (factory ? "the name is already registered" : "no factory given") << std::endl;
    return -1;
  }
  r.byName[factoryName] = factory;
  r.order.push_back(factoryName);
  return 0;
}

_NodeFactory* Node::getFactoryNamed(const std::string& factoryName) {
  FactoryRegistry& r = factories();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.byName.find(factoryName);
  return it == r.byName.end() ? nullptr : it->second;
}

std::vector<std::string> Node::factoryNames() {
  FactoryRegistry& r = factories();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.order;
}

std::vector<std::string> _NodeFactory::portsOnRequest(bool input) const { return Node::portsOnRequest(name, input); }

// The first factory made for a name keeps its lists, as the registry keeps
// the first factory registered under it.
void Node::notePortsOnRequest(const std::string& typeName, std::vector<std::string> inputs,
                              std::vector<std::string> outputs) {
  PortsTable& t = portsTable();
  std::lock_guard<std::mutex> guard(t.lock);
  t.byType.emplace(typeName, PortsOnRequest{std::move(inputs), std::move(outputs)});
}

std::vector<std::string> Node::portsOnRequest(const std::string& typeName, bool input) {
  PortsTable& t = portsTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.byType.find(typeName);
  if (it == t.byType.end()) return {};
  return input ? it->second.inputs : it->second.outputs;
}

Node::Node(std::string nodeName, const ParameterSet& params) : name(std::move(nodeName)), parameters(params) {}

Node::~Node() {}

void Node::printOn(std::ostream& out) const { out << "<Node " << name << " >"; }

void Node::connectToNode(unsigned int in, Node* inputNode, unsigned int out) {
  if (in >= inputs.size()) throw new NodeException(this, "Unknown input id " + std::to_string(in), "Node", 0);
  if (!inputNode || !inputNode->hasOutput(static_cast<int>(out)))
    throw new NodeException(this, "Input " + inputs[in].name + " connected to an unknown output", "Node", 0);
  inputs[in].node = inputNode;
  inputs[in].outputID = static_cast<int>(out);
  inputs[in].missingObjectNote.clear();
  inputs[in].lastRead = nullptr;
  inputs[in].lastCount = -1;
  inputs[in].fromBuffer = dynamic_cast<BufferedNode*>(inputNode) != nullptr;
  inputs[in].held = ObjectRef();
}

void Node::connectToNode(const std::string& in, Node* inputNode, const std::string& out) {
  if (!inputNode) throw new NodeException(this, "Input " + in + " connected to no node", "Node", 0);
  int outputID = inputNode->translateOutput(out);
  int inputID = translateInput(in);
  connectToNode(static_cast<unsigned int>(inputID), inputNode, static_cast<unsigned int>(outputID));
}

int Node::addOutput(const std::string& outputName) {
  for (size_t i = 0; i < outputNames.size(); ++i)
    if (outputNames[i] == outputName) throw new NodeException(this, "Output " + outputName + " declared twice", "Node", 0);
  outputNames.push_back(outputName);
  return static_cast<int>(outputNames.size() - 1);
}

int Node::addInput(const std::string& inputName) {
  for (size_t i = 0; i < inputs.size(); ++i)
    if (inputs[i].name == inputName) throw new NodeException(this, "Input " + inputName + " declared twice", "Node", 0);
  NodeInput input;
  input.name = inputName;
  inputs.push_back(input);
  return static_cast<int>(inputs.size() - 1);
}

std::vector<NodeInput>& Node::getInputs() { return inputs; }

ObjectRef Node::getOutputNamed(const std::string& outputName, int count) {
  return getOutput(getOutputID(outputName), count);
}

void Node::initialize() { initialized = true; }

bool Node::hasOutput(int output_id) const { return output_id >= 0 && output_id < static_cast<int>(outputNames.size()); }

void Node::request(int, const ParameterSet&) {}

int Node::translateInput(const std::string& inputName) { return getInputID(inputName); }

int Node::translateOutput(const std::string& outputName) { return getOutputID(outputName); }

int Node::getInputID(const std::string& inputName) {
  for (size_t i = 0; i < inputs.size(); ++i)
    if (inputs[i].name == inputName) return static_cast<int>(i);
  throw new NodeException(this, "Unknown input " + inputName, "Node", 0);
}

int Node::getOutputID(const std::string& outputName) {
  for (size_t i = 0; i < outputNames.size(); ++i)
    if (outputNames[i] == outputName) return static_cast<int>(i);
  throw new NodeException(this, "Unknown output " + outputName, "Node", 0);
}

ObjectRef Node::getInput(int inputID, int count) {
  if (inputID < 0 || inputID >= static_cast<int>(inputs.size()))
    throw new NodeException(this, "Unknown input id " + std::to_string(inputID), "Node", 0);
  NodeInput& input = inputs[inputID];
  if (!input.node) throw new InputNotConnected(this, input.name);
  try {
    ObjectRef object = input.node->getOutput(input.outputID, count);
    input.lastRead = object.get();
    input.lastCount = count;
    if (!input.fromBuffer) input.held = object;
    return object;
  } catch (BaseException* e) {
    // A cast that failed in the code of the node this input reads from,
    // and not further up, which would have claimed it already.
    throw noteMissingObject(claimFailedCast(e, input.node), input.missingObjectNote, count);
  }
}

}  // namespace MURV
