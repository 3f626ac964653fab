// The host stand-in's node machinery: buffers, ports and the once-per-count
// calculation that multi-output and stream nodes depend on.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>

#include "BufferedNode.h"
#include "Map.h"
#include "SharedObjects.h"
#include "Vector.h"
#include "net_types.h"

using namespace MURV;

namespace {

// Fills two outputs per count with count and -count; can be told to fail.
class TwoOutputs : public BufferedNode {
public:
  TwoOutputs(std::string n, ParameterSet p, bool ordered) : BufferedNode(std::move(n), p) {
    a = addOutput("A");
    b = addOutput("B");
    inOrder = ordered;
  }
  void calculate(int, int count, Buffer&) override {
    calls.push_back(count);
    if (count == failAt) throw new GeneralException("failing on purpose", "TwoOutputs", 1);
    (*outputRecords[a].buffer)[count] = ObjectRef(new NetCType<int>(count));
    (*outputRecords[b].buffer)[count] = ObjectRef(new NetCType<int>(-count));
  }
  int last() const { return lastCount; }
  std::vector<OutputRecord>& records() { return outputRecords; }
  int a, b;
  int failAt = -1;
  std::vector<int> calls;
};

// Adds its input only when the network asks for it, as the toolbox nodes do.
class Sum : public BufferedNode {
public:
  Sum(std::string n, ParameterSet p) : BufferedNode(std::move(n), p) { out = addOutput("OUT"); }
  int translateInput(const std::string& port) override {
    if (port == "X") return x = addInput(port);
    throw new NodeException(this, port + " is not supported.", "Sum", 9);
  }
  void calculate(int, int count, Buffer& buf) override {
    buf[count] = ObjectRef(new NetCType<int>(dereference_cast<int>(getInput(x, count)) * 10));
  }
  int out, x = -1;
};

// Reads both its inputs, then takes as a float what pick makes of their
// objects.
class Pair : public BufferedNode {
public:
  typedef std::function<ObjectRef(ObjectRef, ObjectRef)> Pick;
  Pair(std::string n, ParameterSet p, Pick how)
      : BufferedNode(std::move(n), p), out(addOutput("OUT")), a(addInput("A")), pick(std::move(how)) {
    addInput("B");
  }
  void calculate(int, int count, Buffer& buf) override {
    ObjectRef first = getInput(a, count);
    ObjectRef target = pick(std::move(first), getInput(1, count));
    buf[count] = ObjectRef(new NetCType<float>(dereference_cast<float>(target)));
  }
  int out, a;
  Pick pick;
};

// Gives what make makes on each request and keeps nothing: what it gave
// lives as long as its readers keep it.
class Fresh : public Node {
public:
  explicit Fresh(std::function<ObjectRef()> f) : Node("fresh", ParameterSet()), make(std::move(f)) { addOutput("OUT"); }
  ObjectRef getOutput(int, int) override { return make(); }
  std::function<ObjectRef()> make;
};

// The same, from a node that keeps what it gave in a buffer.
class BufferedFresh : public BufferedNode {
public:
  explicit BufferedFresh(std::function<ObjectRef()> f) : BufferedNode("kept", ParameterSet()), make(std::move(f)) {
    addOutput("OUT");
  }
  void calculate(int, int count, Buffer& out) override { out[count] = make(); }
  std::function<ObjectRef()> make;
};

// Made in one slot while that is free, as an allocator hands a freed
// object's address to the next object of its size.
struct InSlot : NetCType<int> {
  static void* operator new(std::size_t size);
  static void operator delete(void* p);
};
alignas(std::max_align_t) unsigned char slot[sizeof(InSlot)];
bool slotTaken = false;
void* InSlot::operator new(std::size_t size) {
  if (slotTaken || size > sizeof slot) return ::operator new(size);
  slotTaken = true;
  return slot;
}
void InSlot::operator delete(void* p) {
  if (p == slot)
    slotTaken = false;
  else
    ::operator delete(p);
}

int value(const ObjectRef& r) { return dereference_cast<int>(r); }

// Whether f throws a host exception (which is freed).
template <class F> bool throwsHost(F f) {
  try {
    f();
  } catch (BaseException* e) {
    delete e;
    return true;
  }
  return false;
}

}  // namespace

TEST(BufferedNode, CalculatesOncePerCountWhicheverOutputIsAsked) {
  TwoOutputs node("two", ParameterSet(), true);
  node.initialize();
  EXPECT_EQ(value(node.getOutput(node.a, 0)), 0);
  EXPECT_EQ(value(node.getOutput(node.b, 0)), 0);
  EXPECT_EQ(value(node.getOutput(node.b, 1)), -1);
  EXPECT_EQ(value(node.getOutput(node.a, 1)), 1);
  EXPECT_EQ(node.calls, (std::vector<int>{0, 1}));
}

TEST(BufferedNode, SkippedCountsAreCalculatedInOrder) {
  TwoOutputs ordered("ordered", ParameterSet(), true);
  ordered.initialize();
  EXPECT_EQ(value(ordered.getOutput(ordered.a, 3)), 3);
  EXPECT_EQ(ordered.calls, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(value(ordered.getOutput(ordered.b, 2)), -2) << "an earlier count still buffered is not recalculated";
  EXPECT_EQ(ordered.calls.size(), 4u);

  TwoOutputs unordered("unordered", ParameterSet(), false);
  unordered.initialize();
  unordered.getOutput(unordered.a, 3);
  EXPECT_EQ(unordered.calls, (std::vector<int>{3}));
}

TEST(BufferedNode, AThrowingCalculateLeavesLastCountWhereItWas) {
  TwoOutputs node("two", ParameterSet(), true);
  node.initialize();
  node.getOutput(node.a, 1);
  node.failAt = 3;
  try {
    node.getOutput(node.a, 4);
    FAIL() << "no exception";
  } catch (BaseException* e) {
    delete e;
  }
  EXPECT_EQ(node.last(), 2) << "count 2 succeeded, count 3 did not";
  node.failAt = -1;
  EXPECT_EQ(value(node.getOutput(node.a, 4)), 4);
  EXPECT_EQ(node.calls, (std::vector<int>{0, 1, 2, 3, 3, 4}));
}

TEST(BufferedNode, RequestsBeforeInitializeOrForUnknownOutputsThrow) {
  TwoOutputs node("two", ParameterSet(), true);
  EXPECT_TRUE(throwsHost([&] { node.getOutput(node.a, 0); }));
  node.initialize();
  EXPECT_TRUE(throwsHost([&] { node.getOutput(7, 0); }));
  EXPECT_TRUE(throwsHost([&] { node.getOutput(-1, 0); }));
}

TEST(Buffer, SlotsNeverWrittenOrDroppedThrowInsteadOfReadingGarbage) {
  Buffer buf(2);
  EXPECT_TRUE(throwsHost([&] { buf.get(0); }));
  buf[0] = ObjectRef(new NetCType<int>(10));
  buf[1];  // opened but never written
  EXPECT_TRUE(throwsHost([&] { buf.get(1); }));
  EXPECT_EQ(value(buf.get(0)), 10);
  buf[2] = ObjectRef(new NetCType<int>(12));
  EXPECT_TRUE(throwsHost([&] { buf.get(0); })) << "count 0 has been dropped";
  EXPECT_TRUE(throwsHost([&] { buf[0]; })) << "a dropped count cannot be written again";
  EXPECT_TRUE(throwsHost([&] { buf.get(3); }));
  EXPECT_TRUE(throwsHost([&] { buf[-1]; }));
  buf[5] = ObjectRef(new NetCType<int>(15));
  EXPECT_TRUE(throwsHost([&] { buf.get(2); }));
  EXPECT_TRUE(throwsHost([&] { buf.get(4); }));
  EXPECT_EQ(value(buf.get(5)), 15);
}

TEST(Node, PortsConnectByNameAndUnconnectedInputsThrow) {
  TwoOutputs src("src", ParameterSet(), true);
  Sum sum("sum", ParameterSet());
  EXPECT_EQ(sum.x, -1) << "a port is unconnected until the network translates it";
  try {
    sum.connectToNode("Y", &src, "A");
    FAIL() << "no exception";
  } catch (BaseException* e) {
    EXPECT_NE(e->text().find("Y is not supported."), std::string::npos) << e->text();
    delete e;
  }
  EXPECT_TRUE(throwsHost([&] { sum.connectToNode("X", &src, "NOPE"); }));
  sum.connectToNode("X", &src, "B");
  EXPECT_EQ(sum.x, 0);
  src.initialize();
  sum.initialize();
  EXPECT_EQ(value(sum.getOutput(sum.out, 2)), -20);
  EXPECT_EQ(sum.getOutputID("OUT"), sum.out);
  EXPECT_TRUE(throwsHost([&] { sum.getOutputID("IN"); }));

  Sum lonely("lonely", ParameterSet());
  lonely.translateInput("X");
  lonely.initialize();
  try {
    lonely.getOutput(lonely.out, 0);
    FAIL() << "no exception";
  } catch (BaseException* e) {
    EXPECT_NE(e->text().find("not connected"), std::string::npos) << e->text();
    delete e;
  }
}

TEST(BufferedNode, DepthsRaisedBeforeInitializeLengthenTheBuffers) {
  TwoOutputs node("two", ParameterSet(), true);
  auto& records = node.records();
  records[node.a].firstDepth = 3;
  records[node.a].secondDepth = 2;
  node.initialize();
  EXPECT_EQ(records[node.a].buffer->getLength(), 6);
  EXPECT_EQ(records[node.b].buffer->getLength(), 2);
}

// A failed cast is claimed by the node whose code made it, with the input
// that brought the object, or the list or map holding it, when only one did,
// and keeps the host's text.
TEST(Node, AFailedCastIsClaimedByTheNodeThatMadeIt) {
  const ObjectRef one(new NetCType<int>(1));
  auto anInt = [] { return ObjectRef(new NetCType<int>(2)); };
  auto first = [](ObjectRef a, ObjectRef) { return a; };
  const struct {
    const char* name;
    std::function<ObjectRef()> a, b;
    Pair::Pick pick;
    int input;  // the input named, -1 for none
  } rows[] = {
      {"its own", anInt, anInt, first, 0},
      // Both inputs bring the same object: which one the cast was made on
      // is open.
      {"both", [&] { return one; }, [&] { return one; }, first, -1},
      {"list element",
       [&] {
         auto* v = new Vector<ObjectRef>;
         v->push_back(anInt());
         return ObjectRef(v);
       },
       anInt, [](ObjectRef a, ObjectRef) { return object_cast<Vector<ObjectRef>>(a)[0]; }, 0},
      {"map value", anInt,
       [&] {
         auto* m = new Map<int, ObjectRef>;
         (*m)[7] = anInt();
         return ObjectRef(m);
       },
       [](ObjectRef, ObjectRef b) { return object_cast<Map<int, ObjectRef>>(b)[7]; }, 1},
      // The node lets go of what A brought before it makes an object of
      // its own, which must not be taken for it even at the same address.
      {"own object", [] { return ObjectRef(new InSlot); }, anInt,
       [](ObjectRef a, ObjectRef) {
         a = ObjectRef();
         return ObjectRef(new InSlot);
       },
       -1},
  };
  // Each row from sources that keep nothing, and from sources that buffer.
  for (int buffered = 0; buffered < 2; ++buffered)
  for (const auto& row : rows) {
    Fresh a(row.a), b(row.b);
    BufferedFresh keptA(row.a), keptB(row.b);
    Pair pair("pair", ParameterSet(), row.pick);
    Sum sum("sum", ParameterSet());
    pair.connectToNode("A", buffered ? static_cast<Node*>(&keptA) : &a, "OUT");
    pair.connectToNode("B", buffered ? static_cast<Node*>(&keptB) : &b, "OUT");
    keptA.initialize();
    keptB.initialize();
    sum.connectToNode("X", &pair, "OUT");
    pair.initialize();
    sum.initialize();
    try {
      sum.getOutput(sum.out, 0);
      ADD_FAILURE() << row.name << ": no exception";
    } catch (BaseException* e) {
      const FailedCast* cast = dynamic_cast<const FailedCast*>(failedCastOn(e));
      ASSERT_NE(cast, nullptr) << e->text();
      EXPECT_EQ(cast->node, &pair) << row.name << buffered;
      EXPECT_EQ(cast->input, row.input) << row.name << buffered;
      EXPECT_EQ(e->text(), "Cast error: Trying to cast ObjectRef (" + typeNameOf(*cast->given) + ") into f\n")
          << row.name;
      delete e;
    }
  }
  // What an input brought goes with the node at the latest.
  EXPECT_FALSE(slotTaken);
}
