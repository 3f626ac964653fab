// The host stand-in's node machinery: buffers, ports and the once-per-count
// calculation that multi-output and stream nodes depend on.
#include <gtest/gtest.h>

#include "BufferedNode.h"
#include "SharedObjects.h"
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

// Reads both its inputs, then takes the first one's object as a float.
class Pair : public BufferedNode {
public:
  Pair(std::string n, ParameterSet p) : BufferedNode(std::move(n), p), out(addOutput("OUT")), a(addInput("A")) {
    addInput("B");
  }
  void calculate(int, int count, Buffer& buf) override {
    ObjectRef first = getInput(a, count);
    getInput(1, count);
    buf[count] = ObjectRef(new NetCType<float>(dereference_cast<float>(first)));
  }
  int out, a;
};

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
// that brought the object when only one did, and keeps the host's text.
TEST(Node, AFailedCastIsClaimedByTheNodeThatMadeIt) {
  TwoOutputs src("src", ParameterSet(), true);
  Pair pair("pair", ParameterSet());
  Sum sum("sum", ParameterSet());
  pair.connectToNode("A", &src, "A");
  pair.connectToNode("B", &src, "B");
  sum.connectToNode("X", &pair, "OUT");
  src.initialize();
  pair.initialize();
  sum.initialize();
  for (int expectedInput : {0, -1}) {
    try {
      sum.getOutput(sum.out, 0);
      FAIL() << "no exception";
    } catch (BaseException* e) {
      const FailedCast* cast = dynamic_cast<const FailedCast*>(failedCastOn(e));
      ASSERT_NE(cast, nullptr) << e->text();
      EXPECT_EQ(cast->node, &pair);
      EXPECT_EQ(cast->input, expectedInput);
      EXPECT_EQ(e->text(), "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into f\n");
      delete e;
    }
    // Both inputs bring the same object: which one the cast was made on
    // is open.
    pair.connectToNode("B", &src, "A");
  }
}
