// The callback holders' folds of the twenty-two std_msgs types, the front
// conversion of the publishers' layouts and of malformed ones, and the FIFO
// rules; no ROS master is needed.
#include <gtest/gtest.h>

#include <functional>

#include "MsgFifo.h"
#include "StdMsgsTestSupport.h"

using namespace stdtest;
using H = murvstd::StdMsgsHolder;
using namespace std_msgs;
using murvstd::ArrayFormat;
using murvstd::Category;


namespace {
const double two32 = 4294967296.0;
template <class M, class T>
boost::shared_ptr<const M> array(const std::vector<T>& v, std::vector<unsigned> shape = {}, bool complex = false) {
  return boost::make_shared<const M>(arrayMsg<M>(v, shape, complex));
}
}  // namespace

TEST(StdMsgsConversion, EveryFoldAndShapeAndEveryMalformedLayout) {
  const Category i32 = Category::Int32, f32 = Category::Float32, ia = Category::Int32MultiArray,
                 fa = Category::Float32MultiArray;
  const ArrayFormat no = ArrayFormat::None, vec = ArrayFormat::Vector, cvec = ArrayFormat::ComplexVector,
                    mat = ArrayFormat::Matrix, cmat = ArrayFormat::ComplexMatrix;
  const std::vector<float> six = {1, 2, 3, 4, 5, 6};
  struct Row {
    std::function<void(H&)> feed;
    Category category;
    ArrayFormat format;
    std::string expected;  // "" for a message dropped as malformed
  };
  const std::vector<Row> rows = {
      {[](H& h) { h.cb_stdbool(shared<Bool>(2)); }, Category::Bool, no, "true"},
      {[](H& h) { h.cb_stdstring(shared<String>("a b")); }, Category::String, no, "String a b"},
      {[](H& h) { h.cb_stdint8(shared<Int8>(-1)); }, i32, no, "Int -1"},
      {[](H& h) { h.cb_stdint16(shared<Int16>(-32768)); }, i32, no, "Int -32768"},
      {[](H& h) { h.cb_stdint32(shared<Int32>(2147483647)); }, i32, no, "Int 2147483647"},
      {[](H& h) { h.cb_stdint64(shared<Int64>(-1)); }, i32, no, "Int -1"},
      {[](H& h) { h.cb_stdint64(shared<Int64>(4294967301LL)); }, i32, no, "Int 5"},
      {[](H& h) { h.cb_stduint8(shared<UInt8>(255)); }, i32, no, "Int 255"},
      {[](H& h) { h.cb_stduint32(shared<UInt32>(4294967295u)); }, i32, no, "Int -1"},
      {[](H& h) { h.cb_stduint64(shared<UInt64>(4294967296ULL)); }, i32, no, "Int 0"},
      {[](H& h) { h.cb_stdfloat32(shared<Float32>(0.1f)); }, f32, no, "Float 0.1"},
      {[](H& h) { h.cb_stdfloat64(shared<Float64>(-1e300)); }, f32, no, "Float -inf"},
      // Half an ulp above the largest float rounds to an infinity, just below
      // it to the largest float.
      {[](H& h) { h.cb_stdfloat64(shared<Float64>(0x1.ffffffp127)); }, f32, no, "Float inf"},
      {[](H& h) { h.cb_stdfloat64(shared<Float64>(0x1.fffffefffffffp127)); }, f32, no, "Float 3.40282e+38"},
      {[](H& h) { h.cb_stdint8multiarray(array<Int8MultiArray>(std::vector<int>{-1, 127})); }, ia, vec,
       "Vector<int> -1 127"},
      {[](H& h) { h.cb_stdint16multiarray(array<Int16MultiArray>(std::vector<int>{})); }, ia, vec, "Vector<int>"},
      {[](H& h) { h.cb_stdint64multiarray(array<Int64MultiArray>(std::vector<double>{two32 + 1, -1})); }, ia, vec,
       "Vector<int> 1 -1"},
      {[](H& h) { h.cb_stduint8multiarray(array<UInt8MultiArray>(std::vector<int>{255})); }, ia, vec,
       "Vector<int> 255"},
      {[](H& h) { h.cb_stduint16multiarray(array<UInt16MultiArray>(std::vector<int>{65535})); }, ia, vec,
       "Vector<int> 65535"},
      {[](H& h) { h.cb_stduint32multiarray(array<UInt32MultiArray>(std::vector<double>{two32 - 1})); }, ia, vec,
       "Vector<int> -1"},
      {[](H& h) { h.cb_stduint64multiarray(array<UInt64MultiArray>(std::vector<double>{two32 + 7})); }, ia, vec,
       "Vector<int> 7"},
      {[](H& h) { h.cb_stdfloat64multiarray(array<Float64MultiArray>(std::vector<double>{1e300, 0.25})); }, fa, vec,
       "Vector<float> inf 0.25"},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six, {2, 3})); }, fa, mat,
       "Matrix<float> 2x3 1 2 3 4 5 6"},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six, {1, 3}, true)); }, fa, cmat,
       "Matrix<complex> 1x3 (1,2) (3,4) (5,6)"},
      {[&](H& h) { h.cb_stdint32multiarray(array<Int32MultiArray>(std::vector<int>{16777217, -3}, {1, 1})); }, ia,
       cvec, "Vector<complex> (1.67772e+07,-3)"},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(std::vector<float>{}, {0, 5})); }, fa, mat,
       "Matrix<float> 0x5"},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six)); }, fa, cvec, ""},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six)); }, fa, mat, ""},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six, {3, 3})); }, fa, mat, ""},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six, {2, 3})); }, fa, cmat, ""},
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six, {2147483648u, 0})); }, fa, mat, ""},
      // 2^32 values: 0 in 32-bit arithmetic.
      {[&](H& h) { h.cb_stdfloat32multiarray(array<Float32MultiArray>(six, {65536, 65536})); }, fa, mat, ""},
      {[&](H& h) {
         Float32MultiArray m = arrayMsg<Float32MultiArray>(six);
         m.layout.dim.clear();
         h.cb_stdfloat32multiarray(boost::make_shared<const Float32MultiArray>(m));
       },
       fa, vec, ""},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    subtest::LogCapture log;
    H h(5, false);
    rows[i].feed(h);
    MURV::ObjectRef out;
    const std::size_t held = h.serveOldest(rows[i].category, rows[i].format, false, out);
    // A malformed message is dropped and logged, and nothing is made: what
    // an empty FIFO gives.
    EXPECT_EQ(held, rows[i].expected.empty() ? 0u : 1u) << "row " << i;
    EXPECT_EQ(describe(out), rows[i].expected.empty() ? "none" : rows[i].expected) << "row " << i;
    EXPECT_EQ(log.count(ros::console::levels::Error, " message dropped: "), rows[i].expected.empty()) << "row " << i;
    EXPECT_EQ(h.entries(rows[i].category), 0u) << "row " << i;
  }
}

TEST(StdMsgsConversion, FifoRules) {
  subtest::LogCapture log;
  callbackFuncStdMsgsStreamFromRos h(0, true);
  EXPECT_FALSE(h.firstMessageArrived());
  h.cb_stdint8(shared<Int8>(9));
  EXPECT_TRUE(h.firstMessageArrived());
  EXPECT_EQ(h.arrivals.notifications(), 1u) << "a queued message wakes the waiting stream";
  EXPECT_EQ(log.count(ros::console::levels::Info, "Received [thread=" + murvmsg::threadIdText() + "]"), 1);

  H five(5, false);
  for (int v = 1; v <= 6; ++v) five.cb_stduint16(shared<UInt16>(v));
  MURV::ObjectRef out;
  EXPECT_EQ(five.serveOldest(Category::Int32, ArrayFormat::None, false, out), 5u);
  EXPECT_EQ(describe(out), "Int 2") << "the oldest is dropped at capacity";

  // Malformed messages are dropped wherever they are queued: the good one
  // behind them is served, and the one kept for REMAIN_LATEST is served
  // again however many malformed ones come after it.
  auto matrix = [](double v, unsigned rows) {
    return array<Float64MultiArray>(std::vector<double>{v, v}, {rows, 1});
  };
  five.cb_stdfloat64multiarray(matrix(1, 3));
  five.cb_stdfloat64multiarray(matrix(2, 2));
  for (int i = 0; i < 3; ++i) {
    five.cb_stdfloat64multiarray(matrix(3, 4));
    EXPECT_EQ(five.serveOldest(Category::Float32MultiArray, ArrayFormat::Matrix, true, out), 1u);
    EXPECT_EQ(describe(out), "Matrix<float> 2x1 2 2");
  }
  EXPECT_EQ(log.count(ros::console::levels::Error,
                      "Float32MultiArray message dropped: \"Matrix<>\" reads 3 values, the message holds 2"),
            1);
  five.cb_stdfloat64multiarray(matrix(5, 1));
  EXPECT_EQ(five.serveOldest(Category::Float32MultiArray, ArrayFormat::Matrix, true, out), 2u);
  EXPECT_EQ(five.serveOldest(Category::Float32MultiArray, ArrayFormat::Matrix, true, out), 1u);
  EXPECT_EQ(describe(out), "Matrix<float> 1x1 5") << "a newer message ends the repeat";

  // More values than the host takes are refused when they arrive.
  five.cb_stduint8multiarray(array<UInt8MultiArray>(std::vector<int>(16777217, 1)));
  EXPECT_EQ(five.entries(Category::Int32MultiArray), 0u);
  EXPECT_EQ(log.count(ros::console::levels::Error, "UInt8MultiArray message dropped: it would make 16777217 values"), 1);
}
