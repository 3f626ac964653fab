// A toolbox for the runner's tests, loaded with --toolbox: one node type,
// Refuser, that refuses what a parameter tells it to, and a load-time marker
// that tells whether the library ran at all.
//
// Refuser's parameters, all optional: VALUE (int), or OBJECT as written()
// tells, is written to OUTPUT on every count, unless the input IN is
// connected, whose object is passed on; MESSAGE (string) is the text of a
// node exception thrown at WHEN (string): "create", "initialize" or
// "calculate". IN and EXTRA are ports made on request; EXTRA is never written.
#include <cstdlib>
#include <fstream>

#include "BufferedNode.h"
#include "Map.h"
#include "String.h"
#include "net_types.h"

namespace {

class Refuser : public MURV::BufferedNode {
public:
  Refuser(std::string nodeName, MURV::ParameterSet params) : MURV::BufferedNode(std::move(nodeName), params) {
    outputID = addOutput("OUTPUT");
    if (parameters.exist("VALUE")) value = MURV::dereference_cast<int>(parameters.get("VALUE"));
    if (parameters.exist("MESSAGE")) message = MURV::object_cast<MURV::String>(parameters.get("MESSAGE"));
    if (parameters.exist("WHEN")) when = MURV::object_cast<MURV::String>(parameters.get("WHEN"));
    object = written();
    refuseAt("create");
  }

  // Each call declares the port anew, as the nodes that make ports on
  // request do: asked twice for IN, addInput refuses the second.
  int translateInput(const std::string& name) override {
    if (name == "IN") return inputID = addInput(name);
    throw new MURV::NodeException(this, name + " is not supported.", "RunnerTestNodes", __LINE__);
  }
  int translateOutput(const std::string& name) override {
    return name == "EXTRA" ? addOutput(name) : MURV::BufferedNode::translateOutput(name);
  }

  void initialize() override {
    refuseAt("initialize");
    MURV::BufferedNode::initialize();
  }

  void calculate(int, int count, MURV::Buffer& out) override {
    refuseAt("calculate");
    out[count] = inputID < 0 ? object : getInput(inputID, count);
  }

private:
  void refuseAt(const std::string& step) {
    if (when == step) throw new MURV::NodeException(this, message, "RunnerTestNodes", __LINE__);
  }

  // VALUE as an int; or the object OBJECT (any), as the one entry, under
  // KEY (int), of a Map<int,ObjectRef> when KEY is given.
  MURV::ObjectRef written() const {
    if (!parameters.exist("OBJECT")) return MURV::ObjectRef(new MURV::NetCType<int>(value));
    if (!parameters.exist("KEY")) return parameters.get("OBJECT");
    auto* map = new MURV::Map<int, MURV::ObjectRef>;
    MURV::ObjectRef ref(map);
    (*map)[MURV::dereference_cast<int>(parameters.get("KEY"))] = parameters.get("OBJECT");
    return ref;
  }

  int outputID, inputID = -1, value = 0;
  std::string message, when;
  MURV::ObjectRef object;
};

struct Registration {
  Registration() {
    // Written to the current folder when the test asks for it: proof that
    // the library's code ran.
    if (const char* marker = std::getenv("MURV_TEST_TOOLBOX_MARKER")) std::ofstream(marker) << "ran\n";
    MURV::Node::addFactory("Refuser", new MURV::NodeFactory<Refuser>("Refuser"));
  }
};

const Registration registration;

}  // namespace
