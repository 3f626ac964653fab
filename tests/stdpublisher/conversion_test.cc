// The standard-message table from host object to wire bytes, and what the
// two publisher nodes check before ROS is involved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "StdMsgsConversion.h"
#include "StdPubTestSupport.h"

using namespace stdpubtest;
using stdmsgs::Outcome;

namespace {

// Little-endian encodings, as the wire carries them.
template <class T> std::string le(T v) {
  std::string b(sizeof v, '\0');
  std::memcpy(&b[0], &v, sizeof v);
  return b;
}
std::string u32(size_t v) { return le(static_cast<uint32_t>(v)); }
std::string dim(const std::string& label, uint32_t size, uint32_t stride) {
  return u32(label.size()) + label + u32(size) + u32(stride);
}
// A multi-array: the dimensions, data_offset 0, then the values.
template <class T> std::string array(std::initializer_list<std::string> dims, std::initializer_list<T> vs) {
  std::string b = u32(dims.size());
  for (const std::string& d : dims) b += d;
  b += u32(0) + u32(vs.size());
  for (T v : vs) b += le(v);
  return b;
}
const std::string ff4(4, '\xff'), ff8(8, '\xff'), zero(1, '\0');
template <class T> ObjectRef boxed(T v) { return ObjectRef(new MURV::NetCType<T>(v)); }
struct Derived : MURV::NetCType<int> {};

}  // namespace

TEST(StdMsgsConversion, EveryRowMismatchAndLayoutGivesItsBytes) {
  const ObjectRef c23 = complexMatrixOf({{{1, -1}, {2, -2}, {3, -3}}, {{4, -4}, {5, -5}, {6, -6}}});
  const std::string rows23 = dim("rows", 2, 6), cols3 = dim("cols", 3, 3), cplx = dim("complex", 2, 2);
  const std::string vec1 = dim("vector_data", 1, 1), vec2 = dim("vector_data", 2, 2);
  struct Row {
    ObjectRef in;
    std::string type;
    Outcome outcome;
    std::string bytes;
  } rows[] = {
      {boxed(true), "Bool", Outcome::Built, "\x01"},
      {ObjectRef(new MURV::String("ab")), "String", Outcome::Built, u32(2) + "ab"},
      {boxed(300), "Int8", Outcome::Built, "\x2c"},
      {boxed(32768), "Int16", Outcome::Built, std::string("\x00\x80", 2)},
      {boxed(-2), "Int32", Outcome::Built, "\xfe\xff\xff\xff"},
      {boxed(-1), "Int64", Outcome::Built, ff8},
      {boxed(256), "UInt8", Outcome::Built, zero},
      {boxed(70000), "UInt16", Outcome::Built, "\x70\x11"},
      {boxed(-1), "UInt32", Outcome::Built, ff4},
      {boxed(-1), "UInt64", Outcome::Built, ff8},
      {boxed(1.5f), "Float32", Outcome::Built, le(1.5f)},
      {boxed(0.1f), "Float64", Outcome::Built, le(0.100000001490116119384765625)},
      {ints({1, -1, 300}), "Int8MultiArray", Outcome::Built, array<int8_t>({dim("vector_data", 3, 3)}, {1, -1, 44})},
      {intMatrixOf({}), "Int16MultiArray", Outcome::Built, array<int16_t>({dim("rows", 0, 0), dim("cols", 0, 0)}, {})},
      {ints({}), "Int32MultiArray", Outcome::Built, array<int32_t>({dim("vector_data", 0, 0)}, {})},
      {ints({-1}), "Int64MultiArray", Outcome::Built, array<int64_t>({vec1}, {-1})},
      {ints({256, -1}), "UInt8MultiArray", Outcome::Built, array<uint8_t>({vec2}, {0, 255})},
      {ints({70000}), "UInt16MultiArray", Outcome::Built, array<uint16_t>({vec1}, {4464})},
      {intMatrixOf({{-1}}), "UInt32MultiArray", Outcome::Built,
       array<uint32_t>({dim("rows", 1, 1), dim("cols", 1, 1)}, {4294967295u})},
      {intMatrixOf({{-1, 2}}), "UInt64MultiArray", Outcome::Built,
       array<uint64_t>({dim("rows", 1, 2), dim("cols", 2, 2)}, {18446744073709551615u, 2})},
      {matrixOf({{1, 2, 3}, {4, 5, 6}}), "Float32MultiArray", Outcome::Built,
       array<float>({rows23, cols3}, {1, 2, 3, 4, 5, 6})},
      {ObjectRef(new MURV::Matrix<float>(0, 3)), "Float32MultiArray", Outcome::Built,
       array<float>({dim("rows", 0, 0), cols3}, {})},
      {floats({0.5f, -2}), "Float64MultiArray", Outcome::Built, array<double>({vec2}, {0.5, -2})},
      {c23, "Float32MultiArray", Outcome::Built,
       array<float>({rows23, cols3, cplx}, {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6})},
      {c23, "Float64MultiArray", Outcome::Built,
       array<double>({rows23, cols3, cplx}, {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6})},
      // No row converts between families, and names are exact.
      {boxed(1), "Float32", Outcome::Mismatch, ""},
      {floats({1}), "Int32MultiArray", Outcome::Mismatch, ""},
      {ints({1}), "Int32", Outcome::Mismatch, ""},
      {boxed(1), "Int8 ", Outcome::Mismatch, ""},
      {boxed(1), "int8", Outcome::Mismatch, ""},
      // Host types without rows.
      {complexes({{1, 2}}), "Float32MultiArray", Outcome::NoRow, ""},
      {ObjectRef(new Derived), "Int32", Outcome::NoRow, ""},
      {MURV::nilObject, "Int32", Outcome::NoRow, ""},
      {ObjectRef(), "Int32", Outcome::NoRow, ""},
  };
  std::set<std::string> built;
  for (const Row& r : rows) {
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
    if (r.outcome == Outcome::Built) {
      EXPECT_EQ(datatype, "std_msgs/" + r.type);
      built.insert(r.type);
    }
  }
  EXPECT_EQ(built.size(), 22u) << "every row is exercised";
}

TEST(StdMsgsPublisherNodes, LoopRateAndPortNamesAreCheckedAtConstruction) {
  for (const std::string type : {"RosStdMsgsPublisher", "IfRosStdMsgsPublisher"}) {
    SCOPED_TRACE(type);
    for (float rate : {0.0f, -5.0f, std::nanf(""), HUGE_VALF}) {
      auto e = hostExceptionOf([&] { makeNode(type, "bad", stdParams("Int32", "t", rate)); });
      EXPECT_EQ(textOf(e).rfind("src/" + type + ", line ", 0), 0u) << textOf(e);
      EXPECT_NE(textOf(e).find("Node bad: ROS_LOOP_RATE must be a positive, finite rate"), std::string::npos);
    }
    NodeRef node(nullptr);
    EXPECT_EQ(stdoutOf([&] { node.node = MURV::Node::getFactoryNamed(type)->Create("n", stdParams("Int32", "t")); }),
              "n constructor end...\n");
    if (type == "IfRosStdMsgsPublisher") {
      EXPECT_EQ(node->translateInput("COND"), 0);
      EXPECT_EQ(node->translateInput("ANYTHING"), 0);
      EXPECT_EQ(node->translateInput("INPUT"), 1);
    } else {
      EXPECT_EQ(textOf(hostExceptionOf([&] { node->translateInput("COND"); })),
                "src/RosStdMsgsPublisher, line 209: Node n: COND is not supported.\n");
      EXPECT_EQ(node->translateInput("INPUT"), 0);
    }
    EXPECT_EQ(node->getInputs().size(), type == "IfRosStdMsgsPublisher" ? 2u : 1u);
  }
}
