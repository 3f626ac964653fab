// Host values through RosStdMsgsPublisher, a private master and
// RosStdMsgsSubscriber: the publisher's layouts read back as the objects
// that went in, or as the value the narrower message type keeps.
#include <gtest/gtest.h>

#include <limits>

#include "StdMsgsTestSupport.h"
#include "StdPubTestSupport.h"

using namespace stdtest;
using MURV::ObjectRef;
using murvtest::waitFor;
using pubtest::NodeRef;
using subtest::RosNetwork;

namespace {

ObjectRef boxed(int v) { return ObjectRef(new MURV::NetCType<int>(v)); }
ObjectRef boxed(float v) { return ObjectRef(new MURV::NetCType<float>(v)); }

}  // namespace

TEST(StdRoundTrip, EveryFamilyReadsBackAsThePublishedHostObject) {
  RosNetwork net("murv_std_roundtrip");
  const float inf = std::numeric_limits<float>::infinity();
  const int least = std::numeric_limits<int>::min();
  struct Row {
    std::string type, format;
    ObjectRef in;
    std::string folded;  // what comes back when it is not the input itself
  };
  const std::vector<Row> rows = {
      {"Bool", "", MURV::TrueObject, ""},
      {"Bool", "", MURV::FalseObject, ""},
      {"String", "", ObjectRef(new MURV::String(std::string("caf\xc3\xa9\0 end", 10))), ""},
      {"String", "", ObjectRef(new MURV::String("")), ""},
      {"Int8", "", boxed(300), "Int 44"},
      {"Int16", "", boxed(-32768), ""},
      {"Int32", "", boxed(least), ""},
      {"Int64", "", boxed(-1), ""},
      {"UInt8", "", boxed(-1), "Int 255"},
      {"UInt16", "", boxed(70000), "Int 4464"},
      {"UInt32", "", boxed(-1), ""},     // 2^32 - 1 on the wire
      {"UInt64", "", boxed(least), ""},  // 2^64 - 2^31 on the wire
      {"Float32", "", boxed(-0.1f), ""},
      {"Float64", "", boxed(0.1f), ""},
      {"Float64", "", boxed(-inf), ""},
      {"Float64", "", boxed(std::numeric_limits<float>::max()), ""},
      {"Int8MultiArray", "Vector<>", pubtest::ints({-128, 127, 300, -129}), "Vector<int> -128 127 44 127"},
      {"UInt32MultiArray", "Vector<>", pubtest::ints({}), ""},
      {"Int64MultiArray", "Vector<>", pubtest::ints({least, -1, 0, 2147483647}), ""},
      {"UInt16MultiArray", "Matrix<>", pubtest::intMatrixOf({{1, -1, 7}, {65535, 65536, 0}}),
       "Matrix<int> 2x3 1 65535 7 65535 0 0"},
      {"UInt64MultiArray", "Matrix<>", pubtest::intMatrixOf({{least}, {-5}}), ""},
      {"Float32MultiArray", "Vector<>", pubtest::floats({0.5f, -1e-3f, inf}), ""},
      {"Float64MultiArray", "Vector<>", pubtest::floats({0.1f, -3.4e38f}), ""},
      {"Float32MultiArray", "Matrix<>", pubtest::matrixOf({{1, 2, 3}, {4, 5, 6.25f}}), ""},
      {"Float64MultiArray", "Matrix<>", ObjectRef(new MURV::Matrix<float>(0, 3)), ""},
      {"Float32MultiArray", "Matrix<complex<>>", pubtest::complexMatrixOf({{{1, -1}, {2, 0.5f}}, {{0.1f, 3}, {4, -4}}}),
       ""},
      {"Float64MultiArray", "Matrix<complex<>>", pubtest::complexMatrixOf({{{1e-7f, -2}, {3, 4}, {-5, 6}}}), ""},
      // A complex column is the publisher's only way to a complex vector.
      {"Float64MultiArray", "Vector<complex<>>", pubtest::complexMatrixOf({{{1, 2}}, {{-3, 0.25f}}}),
       "Vector<complex> (1,2) (-3,0.25)"},
  };

  std::vector<std::unique_ptr<NodeRef>> feeds, publishers;
  std::vector<std::unique_ptr<Receiver>> receivers;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string topic = "/std_roundtrip/" + std::to_string(i);
    const ObjectRef in = rows[i].in;
    feeds.emplace_back(new NodeRef(new pubtest::Feed("feed", [in](int) { return in; })));
    publishers.emplace_back(new NodeRef(stdpubtest::node("RosStdMsgsPublisher", "pub" + std::to_string(i),
                                                         stdpubtest::stdParams(rows[i].type, topic),
                                                         feeds.back()->node)));
    receivers.emplace_back(new Receiver(false, "sub" + std::to_string(i), rows[i].type, rows[i].format,
                                        {{"TOPIC_NAME", stringParam(topic)}}));
  }
  auto received = [&](std::size_t i) {
    return receivers[i]->holder().entries(murvstd::categoryOf(murvstd::stdTypeNamed(rows[i].type)));
  };

  // Every publisher runs iterations until its subscriber has a message: the
  // first ones may go out before the connection is made.
  int count = 0;
  bool arrived = false;
  pubtest::stdoutOf([&] {
    arrived = waitFor([&] {
      bool all = true;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (received(i)) continue;
        all = false;
        EXPECT_EQ((*publishers[i])->getOutput(0, count).get(), rows[i].in.get()) << "OUTPUT is INPUT";
      }
      ++count;
      return all;
    });
  });
  ASSERT_TRUE(arrived);
  const int digits = std::numeric_limits<float>::max_digits10;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string expected = rows[i].folded.empty() ? describe(rows[i].in, digits) : rows[i].folded;
    EXPECT_EQ(describe(receivers[i]->node->getOutput(0, 0), digits), expected)
        << rows[i].type << " as " << rows[i].format;
  }
}
