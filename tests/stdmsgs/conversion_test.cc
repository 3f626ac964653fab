// The callback holders' folds of the twenty-two std_msgs types, the front
// conversion of the publishers' layouts and of malformed ones, the FIFO
// rules, and the configurations both nodes refuse; no ROS is needed.
#include <gtest/gtest.h>

#include <array>

#include "ros/MsgFifo.h"
#include "StdMsgsTestSupport.h"

using namespace stdtest;
using H = callbackFuncStdMsgsSubscriber;
using namespace std_msgs;
using murvstd::ArrayFormat;
using murvstd::Category;

namespace {

using I = std::vector<int>;
using D = std::vector<double>;
const double two32 = 4294967296.0;

}  // namespace

TEST(StdMsgsConversion, EveryFoldAndShapeAndEveryMalformedLayout) {
  const ArrayFormat no = ArrayFormat::None, vec = ArrayFormat::Vector, cvec = ArrayFormat::ComplexVector,
                    mat = ArrayFormat::Matrix, cmat = ArrayFormat::ComplexMatrix;
  const std::vector<float> six = {1, 2, 3, 4, 5, 6};
  const auto f32s = &H::cb_stdfloat32multiarray;
  const struct {
    Given in;
    ArrayFormat format;
    std::string expected;  // "" for a message dropped as malformed
  } rows[] = {
      {given(&H::cb_stdbool, 2), no, "true"}, {given(&H::cb_stdstring, "a b"), no, "String a b"},
      {given(&H::cb_stdint8, -1), no, "Int -1"}, {given(&H::cb_stdint16, -32768), no, "Int -32768"},
      {given(&H::cb_stdint32, 2147483647), no, "Int 2147483647"}, {given(&H::cb_stdint64, 4294967301LL), no, "Int 5"},
      {given(&H::cb_stdint64, -1), no, "Int -1"}, {given(&H::cb_stduint8, 255), no, "Int 255"},
      {given(&H::cb_stduint16, 65535), no, "Int 65535"}, {given(&H::cb_stduint32, 4294967295u), no, "Int -1"},
      {given(&H::cb_stduint64, 4294967296ULL), no, "Int 0"}, {given(&H::cb_stdfloat32, 0.1f), no, "Float 0.1"},
      {given(&H::cb_stdfloat64, -1e300), no, "Float -inf"},
      // Half an ulp above the largest float rounds to an infinity, just below
      // it to the largest float.
      {given(&H::cb_stdfloat64, 0x1.ffffffp127), no, "Float inf"},
      {given(&H::cb_stdfloat64, 0x1.fffffefffffffp127), no, "Float 3.40282e+38"},
      {given(&H::cb_stdint8multiarray, I{-1, 127}), vec, "Vector<int> -1 127"},
      {given(&H::cb_stdint16multiarray, I{}), vec, "Vector<int>"},
      {given(&H::cb_stdint64multiarray, D{two32 + 1, -1}), vec, "Vector<int> 1 -1"},
      {given(&H::cb_stduint8multiarray, I{255}), vec, "Vector<int> 255"},
      {given(&H::cb_stduint16multiarray, I{65535}), vec, "Vector<int> 65535"},
      {given(&H::cb_stduint32multiarray, D{two32 - 1}), vec, "Vector<int> -1"},
      {given(&H::cb_stduint64multiarray, D{two32 + 7}), vec, "Vector<int> 7"},
      {given(&H::cb_stdfloat64multiarray, D{1e300, 0.25}), vec, "Vector<float> inf 0.25"},
      {given(f32s, six, {2, 3}), mat, "Matrix<float> 2x3 1 2 3 4 5 6"},
      {given(f32s, six, {1, 3}, true), cmat, "Matrix<complex> 1x3 (1,2) (3,4) (5,6)"},
      {given(&H::cb_stdint32multiarray, I{16777217, -3}, {1, 1}), cvec, "Vector<complex> (1.67772e+07,-3)"},
      {given(f32s, std::vector<float>{}, {0, 5}), mat, "Matrix<float> 0x5"},
      {given(f32s, six), cvec, ""}, {given(f32s, six), mat, ""}, {given(f32s, six, {3, 3}), mat, ""},
      {given(f32s, six, {2, 3}), cmat, ""}, {given(f32s, six, {2147483648u, 0}), mat, ""},
      {given(f32s, six, {65536, 65536}), mat, ""},  // 2^32 values: 0 in 32 bits
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.in.type + " " + row.expected);
    subtest::LogCapture log;
    H h(5, false);
    row.in.to(h);
    MURV::ObjectRef out;
    // A malformed message is dropped and logged, and nothing is made: what
    // an empty FIFO gives.
    EXPECT_EQ(h.serveOldest(row.in.category, row.format, false, out), row.expected.empty() ? 0u : 1u);
    EXPECT_EQ(describe(out), row.expected.empty() ? "none" : row.expected);
    EXPECT_EQ(log.count(ros::console::levels::Error, " message dropped: "), row.expected.empty());
    EXPECT_EQ(h.entries(row.in.category), 0u);
  }
}

TEST(StdMsgsConversion, FifoRules) {
  subtest::LogCapture log;
  callbackFuncStdMsgsStreamFromRos h(0, true);
  EXPECT_FALSE(h.firstMessageArrived());
  h.cb_stdint8(shared<Int8>(9));
  EXPECT_TRUE(h.firstMessageArrived() && h.arrivals.notifications() == 1u) << "a queued message wakes the stream";
  H(5, true).cb_stdbool(shared<Bool>(true));
  // Each holder's receipt line names its node's file.
  std::string receipts;
  for (const subtest::LogCapture::Record& r : log.records())
    receipts += r.text + " at " + r.file + ":" + std::to_string(r.line) + "\n";
  const std::string received = "Received [thread=" + murvmsg::threadIdText() + "]";
  EXPECT_EQ(receipts, received + " at src/StdMsgsStreamFromRos:50\n" + received + " at src/RosStdMsgsSubscriber:36\n");

  // The oldest is dropped at capacity. Malformed messages are dropped
  // wherever they are queued: the good one behind them is served, and the one
  // kept for REMAIN_LATEST is served again however many malformed ones come
  // after it, until a newer good one comes.
  H five(5, false);
  auto serve = [&five](Category c, ArrayFormat f) {  // entries held, and the object served
    MURV::ObjectRef out;
    const std::size_t held = five.serveOldest(c, f, true, out);
    return std::to_string(held) + " " + describe(out);
  };
  auto matrix = [&five](double v, unsigned rows) {
    five.cb_stdfloat64multiarray(shared(arrayMsg<Float64MultiArray>(D{v, v}, {rows, 1})));
  };
  for (int v = 1; v <= 6; ++v) five.cb_stduint16(shared<UInt16>(v));
  EXPECT_EQ(serve(Category::Int32, ArrayFormat::None), "5 Int 2");
  matrix(1, 3);
  matrix(2, 2);
  for (int i = 0; i < 3; ++i) {
    matrix(3, 4);
    EXPECT_EQ(serve(Category::Float32MultiArray, ArrayFormat::Matrix), "1 Matrix<float> 2x1 2 2");
  }
  EXPECT_EQ(log.count(ros::console::levels::Error,
                      "Float32MultiArray message dropped: \"Matrix<>\" reads 3 values, the message holds 2"), 1);
  matrix(5, 1);
  EXPECT_EQ(serve(Category::Float32MultiArray, ArrayFormat::Matrix), "2 Matrix<float> 2x1 2 2");
  EXPECT_EQ(serve(Category::Float32MultiArray, ArrayFormat::Matrix), "1 Matrix<float> 1x1 5");

  // More values than the host takes are refused when they arrive.
  five.cb_stduint8multiarray(shared(arrayMsg<UInt8MultiArray>(I(16777217, 1))));
  EXPECT_EQ(five.entries(Category::Int32MultiArray), 0u);
  EXPECT_EQ(log.count(ros::console::levels::Error, "UInt8MultiArray message dropped: it would make 16777217 values"),
            1);
}

// What could only hang or do nothing is refused before anything meets ROS
// (which this process never joins).
TEST(StdReceivers, ConfigurationsThatCouldOnlyHangOrDoNothingAreRefused) {
  for (const std::string type : {"RosStdMsgsSubscriber", "StdMsgsStreamFromRos"}) {
    const bool stream = type == "StdMsgsStreamFromRos";
    const std::array<std::string, 3> rows[] = {
        {"int32", "Vector<>", "ROS_MESSAGE_TYPE int32"},
        {"Int32 ", "Vector<>", "ROS_MESSAGE_TYPE \"Int32 \""},
        {"UInt8MultiArray", "vector<>", "OUT_ARRAY_FORMAT vector<>"}};
    for (const auto& [name, format, refused] : rows) {
      subtest::NodePtr n =
          subtest::createNode(type, "bad", nodeParams(stream, name, format, {{"TOPIC_NAME", stringParam("/std_test/bad")}}));
      const HostFailure f = hostFailure([&] { n->initialize(); });
      EXPECT_TRUE(f.message.rfind(refused + " is not supported: it takes ", 0) == 0 && f.file == "src/" + type &&
                  f.hasNode)
          << f.text;
    }
    const HostFailure rate = hostFailure([&] {
      subtest::createNode(type, "rate", nodeParams(stream, "Bool", "", {{"ROS_LOOP_RATE", floatParam(0.0f)}}));
    });
    EXPECT_NE(rate.message.find("ROS_LOOP_RATE must be a positive, finite rate"), std::string::npos) << type;
  }
}
