// The standard-message table from host object to wire bytes, and what the
// two publisher nodes check before ROS is involved.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "convert/StdMsgsConversion.h"
#include "StdPubTestSupport.h"

using namespace stdpubtest;
using stdmsgs::Outcome;

namespace {

// Little-endian encodings, as the wire carries them.
template <class T> std::string le(T v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); }
std::string dim(const std::string& label, uint32_t size, uint32_t stride) {
  return le<uint32_t>(label.size()) + label + le(size) + le(stride);
}
// A multi-array: the dimensions, data_offset 0, then the values.
template <class T> std::string array(std::initializer_list<std::string> dims, std::initializer_list<T> vs) {
  std::string b = le<uint32_t>(dims.size());
  for (const std::string& d : dims) b += d;
  b += le<uint32_t>(0) + le<uint32_t>(vs.size());
  for (T v : vs) b += le(v);
  return b;
}
struct Derived : MURV::NetCType<int> {};

}  // namespace

TEST(StdMsgsConversion, EveryRowMismatchAndLayoutGivesItsBytes) {
  const ObjectRef c23 = complexMatrixOf({{{1, -1}, {2, -2}, {3, -3}}, {{4, -4}, {5, -5}, {6, -6}}});
  const std::string r23 = dim("rows", 2, 6), c3 = dim("cols", 3, 3), cplx = dim("complex", 2, 2);
  const std::string vec1 = dim("vector_data", 1, 1), vec2 = dim("vector_data", 2, 2), ff8(8, '\xff');
  const Outcome built = Outcome::Built, mismatch = Outcome::Mismatch, noRow = Outcome::NoRow;
  const struct {
    ObjectRef in;
    std::string type;
    Outcome outcome;
    std::string bytes;
  } rows[] = {
      {boxed(true), "Bool", built, "\x01"},
      {ObjectRef(new MURV::String("ab")), "String", built, le<uint32_t>(2) + "ab"},
      {boxed(300), "Int8", built, "\x2c"}, {boxed(32768), "Int16", built, std::string("\x00\x80", 2)},
      {boxed(-2), "Int32", built, "\xfe\xff\xff\xff"}, {boxed(-1), "Int64", built, ff8},
      {boxed(256), "UInt8", built, std::string(1, '\0')}, {boxed(70000), "UInt16", built, "\x70\x11"},
      {boxed(-1), "UInt32", built, "\xff\xff\xff\xff"}, {boxed(-1), "UInt64", built, ff8},
      {boxed(1.5f), "Float32", built, le(1.5f)}, {boxed(0.1f), "Float64", built, le(0.100000001490116119384765625)},
      {ints({1, -1, 300}), "Int8MultiArray", built, array<int8_t>({dim("vector_data", 3, 3)}, {1, -1, 44})},
      {intMatrixOf({}), "Int16MultiArray", built, array<int16_t>({dim("rows", 0, 0), dim("cols", 0, 0)}, {})},
      {ints({}), "Int32MultiArray", built, array<int32_t>({dim("vector_data", 0, 0)}, {})},
      {ints({-1}), "Int64MultiArray", built, array<int64_t>({vec1}, {-1})},
      {ints({256, -1}), "UInt8MultiArray", built, array<uint8_t>({vec2}, {0, 255})},
      {ints({70000}), "UInt16MultiArray", built, array<uint16_t>({vec1}, {4464})},
      {intMatrixOf({{-1}}), "UInt32MultiArray", built, array<uint32_t>({dim("rows", 1, 1), dim("cols", 1, 1)}, {~0u})},
      {intMatrixOf({{-1, 2}}), "UInt64MultiArray", built,
       array<uint64_t>({dim("rows", 1, 2), dim("cols", 2, 2)}, {~uint64_t(0), 2})},
      {matrixOf({{1, 2, 3}, {4, 5, 6}}), "Float32MultiArray", built, array<float>({r23, c3}, {1, 2, 3, 4, 5, 6})},
      {ObjectRef(new MURV::Matrix<float>(0, 3)), "Float32MultiArray", built, array<float>({dim("rows", 0, 0), c3}, {})},
      {floats({0.5f, -2}), "Float64MultiArray", built, array<double>({vec2}, {0.5, -2})},
      {c23, "Float32MultiArray", built, array<float>({r23, c3, cplx}, {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6})},
      {c23, "Float64MultiArray", built, array<double>({r23, c3, cplx}, {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6})},
      // No row converts between families, and names are exact.
      {boxed(1), "Float32", mismatch, ""}, {floats({1}), "Int32MultiArray", mismatch, ""},
      {ints({1}), "Int32", mismatch, ""}, {boxed(1), "Int8 ", mismatch, ""}, {boxed(1), "int8", mismatch, ""},
      // Host types without rows.
      {complexes({{1, 2}}), "Float32MultiArray", noRow, ""}, {ObjectRef(new Derived), "Int32", noRow, ""},
      {MURV::nilObject, "Int32", noRow, ""}, {ObjectRef(), "Int32", noRow, ""},
  };
  std::set<std::string> types;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.type + " from " + (r.in.get() ? r.in->className() : "null"));
    std::string datatype, bytes;
    EXPECT_EQ(stdmsgs::convert(r.in.get(), r.type, [&](const auto& msg) {
      datatype = ros::message_traits::datatype(msg);
      bytes.assign(ros::serialization::serializationLength(msg), '\0');
      ros::serialization::OStream out(reinterpret_cast<uint8_t*>(&bytes[0]), static_cast<uint32_t>(bytes.size()));
      ros::serialization::serialize(out, msg);
    }), r.outcome);
    EXPECT_EQ(testing::PrintToString(bytes), testing::PrintToString(r.bytes));
    EXPECT_EQ(stdmsgs::isTypeName(r.type), r.type != "Int8 " && r.type != "int8");
    EXPECT_EQ(datatype, r.outcome == built ? "std_msgs/" + r.type : "");
    types.insert(datatype);
  }
  EXPECT_EQ(types.size(), 23u) << "every one of the 22 rows is exercised, and \"\" stands for no message";
}

TEST(StdMsgsConversion, AMessageLongerThanRosAllowsIsRefusedNamingTheSizes) {
  // One message holds 2^32 - 5 bytes; a vector's layout and value count take
  // 35 of them.
  const uint64_t most = 4294967291u;
  const int64_t big = 2147483647;
  const struct {
    const char* row;
    size_t elementSize;
    stdmsgs::ArrayShape shape;
    bool complex;
    uint64_t count;
    std::string refusal;
  } rows[] = {
      {"Float64MultiArray", 8, {(most - 35) / 8, -1}, false, (most - 35) / 8, ""},
      {"Float64MultiArray", 8, {(most - 35) / 8 + 1, -1}, false, (most - 35) / 8 + 1, "vector of 536870908 elements"},
      {"Float64MultiArray", 8, {1 << 29, -1}, false, 1 << 29, "vector of 536870912 elements"},
      {"Float32MultiArray", 4, {1 << 30, -1}, false, 1 << 30, "vector of 1073741824 elements"},
      {"Int8MultiArray", 1, {int64_t(1) << 32, -1}, false, uint64_t(1) << 32, "vector of 4294967296 elements"},
      {"UInt16MultiArray", 2, {65536, 32768}, false, uint64_t(1) << 31, "matrix of 65536 x 32768"},
      {"Int32MultiArray", 4, {2, 3}, false, 6, ""},
      {"Float64MultiArray", 8, {16384, 16384}, true, uint64_t(1) << 29, "matrix of 16384 x 16384"},
      {"Float64MultiArray", 8, {big, big}, true, 2 * stdmsgs::matrixElements(big, big),
       "matrix of 2147483647 x 2147483647"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.row + (" " + r.refusal));
    const int rs = static_cast<int>(r.shape.rows), cs = static_cast<int>(r.shape.cols);
    const std_msgs::MultiArrayLayout layout = cs < 0       ? stdmsgs::vectorLayout(r.shape.rows)
                                              : r.complex ? stdmsgs::complexMatrixLayout(rs, cs)
                                                          : stdmsgs::matrixLayout(rs, cs);
    if (r.refusal.empty()) {
      EXPECT_EQ(stdmsgs::sendableCount(r.row, layout, r.count, r.elementSize, r.shape), r.count);
      continue;
    }
    const std::string e =
        textOf(hostExceptionOf([&] { stdmsgs::sendableCount(r.row, layout, r.count, r.elementSize, r.shape); }));
    EXPECT_NE(e.find(r.refusal + " is too large for one " + r.row + " message"), std::string::npos) << e;
  }
  // The conversion refuses before it reads a value: this matrix claims 2^32
  // elements and holds one.
  const ObjectRef one = matrixOf({{1}});
  MURV::Matrix<float>& m = MURV::object_cast<MURV::Matrix<float> >(one);
  m.rows = m.cols = 65536;
  bool emitted = false;
  const std::string e = textOf(hostExceptionOf([&] {
    stdmsgs::convert(one.get(), "Float32MultiArray", [&](const auto&) { emitted = true; });
  }));
  m.rows = m.cols = 1;
  EXPECT_FALSE(emitted);
  EXPECT_NE(e.find("matrix of 65536 x 65536 is too large for one Float32MultiArray message"), std::string::npos) << e;
}

TEST(StdMsgsPublisherNodes, LoopRateAndPortNamesAreCheckedAtConstruction) {
  for (const std::string type : {"RosStdMsgsPublisher", "IfRosStdMsgsPublisher"}) {
    SCOPED_TRACE(type);
    for (float rate : {0.0f, -5.0f, std::nanf(""), HUGE_VALF}) {
      const std::string e = textOf(hostExceptionOf([&] { makeNode(type, "bad", stdParams("Int32", "t", rate)); }));
      EXPECT_EQ(e.rfind("src/" + type + ", line ", 0), 0u) << e;
      EXPECT_NE(e.find("Node bad: ROS_LOOP_RATE must be a positive, finite rate"), std::string::npos) << e;
    }
    NodeRef node(nullptr);
    EXPECT_EQ(stdoutOf([&] { node.node = MURV::Node::getFactoryNamed(type)->Create("n", stdParams("Int32", "t")); }),
              "n constructor end...\n");
    const bool conditional = type == "IfRosStdMsgsPublisher";
    // The conditional twin takes any other name for COND, its first input.
    if (conditional) EXPECT_EQ(node->translateInput("COND") + node->translateInput("ANYTHING"), 0);
    else EXPECT_EQ(textOf(hostExceptionOf([&] { node->translateInput("COND"); })),
                   "src/RosStdMsgsPublisher, line 209: Node n: COND is not supported.\n");
    EXPECT_EQ(node->translateInput("INPUT"), conditional ? 1 : 0);
  }
}
