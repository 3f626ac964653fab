// Turning received std_msgs messages into host values.
//
// The receivers fold the twenty-two std_msgs types they take into six
// message categories: Bool, String, Int32 (every integer type), Float32
// (both floating types), Int32MultiArray and Float32MultiArray. The fold is
// lossy on purpose: 64-bit and unsigned integers keep their low 32 bits read
// as a signed value, doubles are rounded to single precision (an infinity
// when too large). A category message then becomes one host object; an
// array's shape comes from OUT_ARRAY_FORMAT and its layout's dim sizes,
// which undo the layouts that the standard-message publishers write.
//
// A layout is data from the wire, not a promise: before anything is sized it
// is checked, in 64 bits, against the values the message carries and
// against maxHostValues.
#ifndef MURV_STD_MSGS_TO_HOST_H
#define MURV_STD_MSGS_TO_HOST_H

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include <std_msgs/Bool.h>
#include <std_msgs/Float32.h>
#include <std_msgs/Float32MultiArray.h>
#include <std_msgs/Float64.h>
#include <std_msgs/Float64MultiArray.h>
#include <std_msgs/Int16.h>
#include <std_msgs/Int16MultiArray.h>
#include <std_msgs/Int32.h>
#include <std_msgs/Int32MultiArray.h>
#include <std_msgs/Int64.h>
#include <std_msgs/Int64MultiArray.h>
#include <std_msgs/Int8.h>
#include <std_msgs/Int8MultiArray.h>
#include <std_msgs/String.h>
#include <std_msgs/UInt16.h>
#include <std_msgs/UInt16MultiArray.h>
#include <std_msgs/UInt32.h>
#include <std_msgs/UInt32MultiArray.h>
#include <std_msgs/UInt64.h>
#include <std_msgs/UInt64MultiArray.h>
#include <std_msgs/UInt8.h>
#include <std_msgs/UInt8MultiArray.h>

#include "ObjectRef.h"

namespace murvstd {

// The values of ROS_MESSAGE_TYPE, each the name of a std_msgs type, in the
// order the receivers test them.
enum class StdType {
  Bool, String, Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64, Float32, Float64,
  Int8MultiArray, Int16MultiArray, Int32MultiArray, Int64MultiArray,
  UInt8MultiArray, UInt16MultiArray, UInt32MultiArray, UInt64MultiArray,
  Float32MultiArray, Float64MultiArray,
  None
};

enum class Category { None, Bool, String, Int32, Float32, Int32MultiArray, Float32MultiArray };

// The host shapes of OUT_ARRAY_FORMAT: "Vector<>", "Vector<complex<>>",
// "Matrix<>", "Matrix<complex<>>".
enum class ArrayFormat { None, Vector, ComplexVector, Matrix, ComplexMatrix };

// Exact, case-sensitive names; None for anything else.
StdType stdTypeNamed(const std::string& name);
ArrayFormat arrayFormatNamed(const std::string& name);
// The four values of OUT_ARRAY_FORMAT, in the order of ArrayFormat.
std::vector<std::string> arrayFormatNames();
// What ROS_MESSAGE_TYPE takes, in words short enough for a one-line
// refusal: the twenty-two names, grouped.
extern const char* const stdTypesTaken;
Category categoryOf(StdType type);
const char* categoryName(Category category);
inline bool isArray(Category c) { return c == Category::Int32MultiArray || c == Category::Float32MultiArray; }

// The folds of single values. None has undefined behaviour: the low 32 bits
// are read as two's complement explicitly, and a double beyond the float
// range becomes an infinity of its sign before any conversion.
std::int32_t low32(std::uint64_t bits);
inline std::int32_t foldInt(std::int8_t v) { return v; }
inline std::int32_t foldInt(std::int16_t v) { return v; }
inline std::int32_t foldInt(std::int32_t v) { return v; }
inline std::int32_t foldInt(std::int64_t v) { return low32(static_cast<std::uint64_t>(v)); }
inline std::int32_t foldInt(std::uint8_t v) { return v; }
inline std::int32_t foldInt(std::uint16_t v) { return v; }
inline std::int32_t foldInt(std::uint32_t v) { return low32(v); }
inline std::int32_t foldInt(std::uint64_t v) { return low32(v); }
inline float foldFloat(float v) { return v; }
float foldFloat(double v);

// The category message of each received type: scalars hold the folded
// value, arrays a copy of the layout and every element folded.
std_msgs::Bool fold(const std_msgs::Bool& m);
std_msgs::String fold(const std_msgs::String& m);
std_msgs::Int32 fold(const std_msgs::Int8& m);
std_msgs::Int32 fold(const std_msgs::Int16& m);
std_msgs::Int32 fold(const std_msgs::Int32& m);
std_msgs::Int32 fold(const std_msgs::Int64& m);
std_msgs::Int32 fold(const std_msgs::UInt8& m);
std_msgs::Int32 fold(const std_msgs::UInt16& m);
std_msgs::Int32 fold(const std_msgs::UInt32& m);
std_msgs::Int32 fold(const std_msgs::UInt64& m);
std_msgs::Float32 fold(const std_msgs::Float32& m);
std_msgs::Float32 fold(const std_msgs::Float64& m);
std_msgs::Int32MultiArray fold(const std_msgs::Int8MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::Int16MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::Int32MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::Int64MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::UInt8MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::UInt16MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::UInt32MultiArray& m);
std_msgs::Int32MultiArray fold(const std_msgs::UInt64MultiArray& m);
std_msgs::Float32MultiArray fold(const std_msgs::Float32MultiArray& m);
std_msgs::Float32MultiArray fold(const std_msgs::Float64MultiArray& m);

// The values a category message holds once folded: what a receiver keeps.
template <class M>
std::uint64_t valueCount(const M& m) {
  if constexpr (std::is_same_v<decltype(m.data), std::string> || std::is_arithmetic_v<decltype(m.data)>)
    return 1;
  else
    return m.data.size();
}

// Why format cannot read an array of dataSize values with this layout, or
// "" when it can: enough dim entries, every size used at most
// maxHostValues, and the values it reads (x 2 for complex) within dataSize
// and maxHostValues.
std::string layoutFault(const std_msgs::MultiArrayLayout& layout, std::size_t dataSize, ArrayFormat format);
inline std::string layoutFault(const std_msgs::Int32MultiArray& m, ArrayFormat f) {
  return layoutFault(m.layout, m.data.size(), f);
}
inline std::string layoutFault(const std_msgs::Float32MultiArray& m, ArrayFormat f) {
  return layoutFault(m.layout, m.data.size(), f);
}
template <class M>
std::string layoutFault(const M&, ArrayFormat) {
  return "";
}

// The front conversion. Bool gives the host's shared TrueObject or
// FalseObject; the others a new object. An array with a layout that
// layoutFault refuses throws std::invalid_argument with its reason; the
// format None gives a null reference (no object).
MURV::ObjectRef toHost(const std_msgs::Bool& m, ArrayFormat = ArrayFormat::None);
MURV::ObjectRef toHost(const std_msgs::String& m, ArrayFormat = ArrayFormat::None);
MURV::ObjectRef toHost(const std_msgs::Int32& m, ArrayFormat = ArrayFormat::None);
MURV::ObjectRef toHost(const std_msgs::Float32& m, ArrayFormat = ArrayFormat::None);
MURV::ObjectRef toHost(const std_msgs::Int32MultiArray& m, ArrayFormat format);
MURV::ObjectRef toHost(const std_msgs::Float32MultiArray& m, ArrayFormat format);

// The empty host array of an array category in format: a vector of no
// elements or a 0 x 0 matrix; null for any other category or format.
MURV::ObjectRef emptyArray(Category category, ArrayFormat format);

}  // namespace murvstd

#endif
