// Loading the toolbox as the host does, and the host's node registry.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>

#include "BufferedNode.h"
#include "SharedObjects.h"
#include "String.h"
#include "net_types.h"

using namespace MURV;

namespace {

class Probe : public Node {
public:
  Probe(std::string n, ParameterSet p) : Node(std::move(n), p) {}
  ObjectRef getOutput(int, int) override { return ObjectRef(); }
  ParameterSet& params() { return parameters; }
};

void* loadToolbox() {
  static void* handle = dlopen(MURV_TOOLBOX_PATH, RTLD_NOW | RTLD_GLOBAL);
  return handle;
}

}  // namespace

TEST(ToolboxLoad, RegistersVersionFirstThenNodeTypesInOrder) {
  size_t before = Node::factoryNames().size();
  size_t versionsBefore = Object::moduleVersions().size();
  ASSERT_NE(loadToolbox(), nullptr) << dlerror();

  ASSERT_EQ(Object::moduleVersions().size(), versionsBefore + 1);
  const Object::ModuleVersion& v = Object::moduleVersions().back();
  EXPECT_EQ(v.module, "MURVROS");
  EXPECT_EQ(v.revision, "9303");
  EXPECT_EQ(v.version, "3.1.0");
  EXPECT_EQ(v.factoriesBefore, before) << "the version must be recorded before the first node type";

  std::vector<std::string> names = Node::factoryNames();
  std::vector<std::string> added(names.begin() + static_cast<long>(before), names.end());
  // The node types that exist, in their registration order.
  const std::vector<std::string> expected = {"RosNodeGenerator", "RosMurvIntPublisher", "RosMurvIntSubscriber",
                                             "RosMurvMsgsPublisher", "RosMurvMsgsSubscriber", "RosAddMurvIntServer",
                                             "RosAddMurvIntClient", "RosMurvIntDynReconf", "RosMurvParamsDynReconf",
                                             "MurvMsgsStreamFromRos", "IfRosStdMsgsPublisher", "RosMurvParamsSubscriber",
                                             "RosStdMsgsPublisher", "RosStdMsgsSubscriber", "StdMsgsStreamFromRos",
                                             "AudioStreamFromRos", "BeatCandidate", "STPMPublisher",
                                             "SyncMurvMsgsAndJointState"};
  EXPECT_EQ(added, expected);
  for (const std::string& n : expected) {
    _NodeFactory* f = Node::getFactoryNamed(n);
    ASSERT_NE(f, nullptr) << n;
    EXPECT_EQ(f->getName(), n);
  }
  EXPECT_EQ(Node::getFactoryNamed("rosnodegenerator"), nullptr) << "names are case-sensitive";
  // The ports declared on request, kept by type name as the toolbox
  // registered its factories.
  const std::vector<std::string> selectable = {"MATOUT", "SRCOUT", "MAPOUT"};
  EXPECT_EQ(Node::getFactoryNamed("SyncMurvMsgsAndJointState")->portsOnRequest(false), selectable);
  EXPECT_EQ(Node::portsOnRequest("RosStdMsgsPublisher", true), std::vector<std::string>{"INPUT"});
  EXPECT_EQ(Node::portsOnRequest("RosStdMsgsPublisher", false), std::vector<std::string>{});

  // Loading again runs nothing a second time.
  ASSERT_NE(dlopen(MURV_TOOLBOX_PATH, RTLD_NOW | RTLD_GLOBAL), nullptr);
  EXPECT_EQ(Node::factoryNames(), names);
  EXPECT_EQ(Object::moduleVersions().size(), versionsBefore + 1);
}

TEST(NodeRegistry, RefusesANameRegisteredTwice) {
  NodeFactory<Probe>* first = new NodeFactory<Probe>("TwiceProbe");
  ASSERT_EQ(Node::addFactory("TwiceProbe", first), 0);
  testing::internal::CaptureStderr();
  NodeFactory<Probe> second("TwiceProbe");
  EXPECT_EQ(Node::addFactory("TwiceProbe", &second), -1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("TwiceProbe"), std::string::npos) << err;
  EXPECT_EQ(Node::getFactoryNamed("TwiceProbe"), first);
}

TEST(NodeFactory, NodesOwnTheirSetsButShareParameterObjects) {
  NodeFactory<Probe> factory("Probe");
  ParameterSet params;
  ObjectRef shared(new NetCType<int>(7));
  params.add("A", shared);
  params.add("B", ObjectRef(new String("b")));

  Probe* one = static_cast<Probe*>(factory.Create("one", params));
  Probe* two = static_cast<Probe*>(factory.Create("two", params));
  EXPECT_EQ(one->getName(), "one");
  EXPECT_EQ(two->getName(), "two");

  one->params().erase("B");
  one->params().add("A", ObjectRef(new NetCType<int>(1)));
  EXPECT_TRUE(two->params().exist("B"));
  EXPECT_EQ(two->params().get("A").get(), shared.get()) << "replacing an entry of one set leaves the other";
  EXPECT_TRUE(params.exist("B"));

  dereference_cast<int>(two->params().get("A")) = 9;
  EXPECT_EQ(dereference_cast<int>(shared), 9) << "the parameter objects themselves are shared";
  one->unref();
  two->unref();
}

namespace {

// Node classes that declare some ports only on request, and say which.
class OnRequestInputs : public Probe {
public:
  using Probe::Probe;
  static std::vector<std::string> inputsOnRequest() { return {"INPUT", "TIMESTAMP"}; }
};
class OnRequestOutputs : public Probe {
public:
  using Probe::Probe;
  static const std::array<const char*, 3>& outputsOnRequest() {
    static const std::array<const char*, 3> names = {"MATOUT", "SRCOUT", "MAPOUT"};
    return names;
  }
};

}  // namespace

TEST(NodeFactory, ListsThePortsANodeTypeDeclaresOnRequest) {
  using Ports = std::vector<std::string>;
  const struct {
    std::unique_ptr<_NodeFactory> factory;
    Ports inputs, outputs;
  } rows[] = {
      {std::unique_ptr<_NodeFactory>(new NodeFactory<Probe>("Probe")), {}, {}},
      {std::unique_ptr<_NodeFactory>(new NodeFactory<OnRequestInputs>("In")), {"INPUT", "TIMESTAMP"}, {}},
      {std::unique_ptr<_NodeFactory>(new NodeFactory<OnRequestOutputs>("Out")), {}, {"MATOUT", "SRCOUT", "MAPOUT"}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.factory->portsOnRequest(true), r.inputs) << r.factory->getName();
    EXPECT_EQ(r.factory->portsOnRequest(false), r.outputs) << r.factory->getName();
  }
}

namespace {

// The vtable slot of a virtual member function f: a pointer to a virtual
// member holds 1 + the slot's byte offset in the vtable (the C++ ABI of
// this platform).
template <class F> std::size_t slotOf(F f) {
  std::uintptr_t raw[2];
  static_assert(sizeof(F) == sizeof raw, "a pointer to member is two words");
  std::memcpy(raw, &f, sizeof raw);
  return (raw[0] - 1) / sizeof(void*);
}

// A factory written out by hand: the name, and the three virtuals in order.
class ThreeSlots {
public:
  virtual const std::string& getName() { return name; }
  virtual Node* Create(const std::string&, const ParameterSet&) { return nullptr; }
  virtual ~ThreeSlots() {}
  std::string name;
};

// A virtual added after those of Base takes the first slot after them.
template <class Base> class OneMore : public Base {
public:
  virtual int next() { return 0; }
};

}  // namespace

TEST(NodeFactory, HasTheSlotsGetNameCreateAndTheDestructorAndAddsNoMember) {
  EXPECT_EQ(slotOf(&_NodeFactory::getName), 0u);
  EXPECT_EQ(slotOf(&_NodeFactory::Create), 1u);
  EXPECT_EQ(slotOf(&NodeFactory<Probe>::Create), 1u);
  // The destructor takes two slots here (complete and deleting), and
  // nothing follows it.
  EXPECT_EQ(slotOf(&OneMore<ThreeSlots>::next), 4u);
  EXPECT_EQ(slotOf(&OneMore<_NodeFactory>::next), slotOf(&OneMore<ThreeSlots>::next));
  EXPECT_EQ(slotOf(&OneMore<NodeFactory<Probe>>::next), slotOf(&OneMore<ThreeSlots>::next));
  EXPECT_EQ(sizeof(_NodeFactory), sizeof(ThreeSlots));
  EXPECT_EQ(sizeof(NodeFactory<Probe>), sizeof(ThreeSlots));
}

TEST(ParameterSet, MissingNameThrowsAGeneralExceptionNamingIt) {
  ParameterSet params;
  try {
    params.get("NODE_NAME");
    FAIL() << "no exception";
  } catch (BaseException* e) {
    EXPECT_NE(dynamic_cast<GeneralException*>(e), nullptr);
    EXPECT_NE(e->text().find("NODE_NAME"), std::string::npos) << e->text();
    delete e;
  }
}

TEST(ObjectTypes, NewObjectByNameAndUnknownNamesThrow) {
  ObjectRef s = Object::newObject("String");
  ASSERT_NE(s.get(), nullptr);
  EXPECT_EQ(s->className(), "String");
  try {
    Object::newObject("NoSuchType");
    FAIL() << "no exception";
  } catch (BaseException* e) {
    EXPECT_NE(e->text().find("NoSuchType"), std::string::npos);
    delete e;
  }
}

TEST(SharedObjects, BooleansAreTheHostBooleanType) {
  EXPECT_TRUE(dereference_cast<bool>(TrueObject));
  EXPECT_FALSE(dereference_cast<bool>(FalseObject));
  EXPECT_NE(dynamic_cast<NetCType<bool>*>(TrueObject.get()), nullptr);
  EXPECT_NE(dynamic_cast<GenericType<bool>*>(FalseObject.get()), nullptr);
  EXPECT_TRUE(nilObject->isNil());
  EXPECT_FALSE(TrueObject.isNil());
}

TEST(Exceptions, NodeExceptionKeepsTheNodeNameAndAcceptsNoNode) {
  NodeException* e;
  {
    Probe p("probe", ParameterSet());
    e = new NodeException(&p, "went wrong", "Probe", 42);
  }  // the node is gone; its name is not
  std::ostringstream out;
  e->print(out);
  EXPECT_NE(out.str().find("probe"), std::string::npos);
  EXPECT_NE(out.str().find("went wrong"), std::string::npos);
  EXPECT_EQ(e->line, 42);
  EXPECT_EQ(e->file, "Probe");
  EXPECT_FALSE(e->frozen);

  NodeException* none = new NodeException(nullptr, "stream Force-quit...", "MurvMsgsStreamFromRos", 7);
  BaseException* chained = e->add(none);
  EXPECT_EQ(chained, e);
  std::string all = chained->text();
  EXPECT_LT(all.find("went wrong"), all.find("Force-quit...")) << all;
  delete chained;  // frees the chain too (checked by ASan)
}
