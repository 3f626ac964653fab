#include "StdMsgsToHost.h"

#include <cmath>
#include <complex>
#include <limits>
#include <stdexcept>

#include "Matrix.h"
#include "MsgToHost.h"
#include "SharedObjects.h"
#include "String.h"
#include "Vector.h"
#include "net_types.h"

namespace murvstd {

namespace {

const char* const typeNames[] = {"Bool",
                                 "String",
                                 "Int8",
                                 "Int16",
                                 "Int32",
                                 "Int64",
                                 "UInt8",
                                 "UInt16",
                                 "UInt32",
                                 "UInt64",
                                 "Float32",
                                 "Float64",
                                 "Int8MultiArray",
                                 "Int16MultiArray",
                                 "Int32MultiArray",
                                 "Int64MultiArray",
                                 "UInt8MultiArray",
                                 "UInt16MultiArray",
                                 "UInt32MultiArray",
                                 "UInt64MultiArray",
                                 "Float32MultiArray",
                                 "Float64MultiArray"};
static_assert(sizeof typeNames / sizeof typeNames[0] == static_cast<std::size_t>(StdType::None));

const char* const formatNames[] = {"Vector<>", "Vector<complex<>>", "Matrix<>", "Matrix<complex<>>"};

bool isMatrix(ArrayFormat f) { return f == ArrayFormat::Matrix || f == ArrayFormat::ComplexMatrix; }
bool isComplex(ArrayFormat f) { return f == ArrayFormat::ComplexVector || f == ArrayFormat::ComplexMatrix; }

template <class Out, class In>
Out foldScalar(const In& m) {
  Out out;
  if constexpr (std::is_same_v<decltype(out.data), float>)
    out.data = foldFloat(m.data);
  else
    out.data = foldInt(m.data);
  return out;
}

template <class Out, class In>
Out foldArray(const In& m) {
  Out out;
  out.layout = m.layout;
  out.data.reserve(m.data.size());
  for (const auto v : m.data) {
    if constexpr (std::is_same_v<typename decltype(out.data)::value_type, float>)
      out.data.push_back(foldFloat(v));
    else
      out.data.push_back(foldInt(v));
  }
  return out;
}

// The host array of T (int or float) that format makes from a checked
// layout and its data.
template <class T, class Data>
MURV::ObjectRef arrayToHost(const std_msgs::MultiArrayLayout& layout, const Data& data, ArrayFormat format) {
  if (format == ArrayFormat::None) return MURV::ObjectRef();
  const std::string fault = layoutFault(layout, data.size(), format);
  if (!fault.empty()) throw std::invalid_argument(fault);

  using Complex = std::complex<float>;
  const int first = static_cast<int>(layout.dim[0].size);
  auto pair = [&data](std::size_t k) {
    return Complex(static_cast<float>(data[2 * k]), static_cast<float>(data[2 * k + 1]));
  };
  switch (format) {
    case ArrayFormat::Vector: {
      MURV::Vector<T>* v = new MURV::Vector<T>(static_cast<std::size_t>(first));
      MURV::ObjectRef owner(v);
      std::copy(data.begin(), data.begin() + first, v->begin());
      return owner;
    }
    case ArrayFormat::ComplexVector: {
      MURV::Vector<Complex>* v = new MURV::Vector<Complex>(static_cast<std::size_t>(first));
      MURV::ObjectRef owner(v);
      for (std::size_t i = 0; i < v->size(); ++i) (*v)[i] = pair(i);
      return owner;
    }
    case ArrayFormat::Matrix: {
      MURV::Matrix<T>* m = new MURV::Matrix<T>(first, static_cast<int>(layout.dim[1].size));
      MURV::ObjectRef owner(m);
      std::copy(data.begin(), data.begin() + m->msize(), m->data);
      return owner;
    }
    case ArrayFormat::ComplexMatrix: {
      MURV::Matrix<Complex>* m = new MURV::Matrix<Complex>(first, static_cast<int>(layout.dim[1].size));
      MURV::ObjectRef owner(m);
      for (std::int64_t k = 0; k < m->msize(); ++k) m->data[k] = pair(static_cast<std::size_t>(k));
      return owner;
    }
    case ArrayFormat::None: break;
  }
  return MURV::ObjectRef();
}

}  // namespace

StdType stdTypeNamed(const std::string& name) {
  for (int i = 0; i < static_cast<int>(StdType::None); ++i)
    if (name == typeNames[i]) return static_cast<StdType>(i);
  return StdType::None;
}

ArrayFormat arrayFormatNamed(const std::string& name) {
  for (int i = 0; i < 4; ++i)
    if (name == formatNames[i]) return static_cast<ArrayFormat>(i + 1);
  return ArrayFormat::None;
}

std::vector<std::string> arrayFormatNames() { return std::vector<std::string>(formatNames, formatNames + 4); }

const char* const stdTypesTaken =
    "Bool, String, Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64, Float32 or Float64, or a number type "
    "followed by MultiArray (as in Float32MultiArray)";

Category categoryOf(StdType type) {
  switch (type) {
    case StdType::Bool: return Category::Bool;
    case StdType::String: return Category::String;
    case StdType::Int8: case StdType::Int16: case StdType::Int32: case StdType::Int64:
    case StdType::UInt8: case StdType::UInt16: case StdType::UInt32: case StdType::UInt64:
      return Category::Int32;
    case StdType::Float32: case StdType::Float64: return Category::Float32;
    case StdType::Float32MultiArray: case StdType::Float64MultiArray: return Category::Float32MultiArray;
    case StdType::None: return Category::None;
    default: return Category::Int32MultiArray;
  }
}

const char* categoryName(Category category) {
  switch (category) {
    case Category::Bool: return "Bool";
    case Category::String: return "String";
    case Category::Int32: return "Int32";
    case Category::Float32: return "Float32";
    case Category::Int32MultiArray: return "Int32MultiArray";
    case Category::Float32MultiArray: return "Float32MultiArray";
    case Category::None: break;
  }
  return "";
}

std::int32_t low32(std::uint64_t bits) {
  const std::uint32_t u = static_cast<std::uint32_t>(bits);
  if (u <= 0x7fffffffu) return static_cast<std::int32_t>(u);
  return static_cast<std::int32_t>(u - 0x80000000u) + std::numeric_limits<std::int32_t>::min();
}

float foldFloat(double v) {
  // Rounded to nearest, a double overflows single precision from half an
  // ulp above the largest float on: 2^128 - 2^103.
  constexpr double overflow = 0x1.ffffffp127;
  constexpr float inf = std::numeric_limits<float>::infinity();
  if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
  if (v >= overflow) return inf;
  if (v <= -overflow) return -inf;
  return static_cast<float>(v);
}

std_msgs::Bool fold(const std_msgs::Bool& m) { return m; }
std_msgs::String fold(const std_msgs::String& m) { return m; }
std_msgs::Int32 fold(const std_msgs::Int8& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Int32 fold(const std_msgs::Int16& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Int32 fold(const std_msgs::Int32& m) { return m; }
std_msgs::Int32 fold(const std_msgs::Int64& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Int32 fold(const std_msgs::UInt8& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Int32 fold(const std_msgs::UInt16& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Int32 fold(const std_msgs::UInt32& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Int32 fold(const std_msgs::UInt64& m) { return foldScalar<std_msgs::Int32>(m); }
std_msgs::Float32 fold(const std_msgs::Float32& m) { return m; }
std_msgs::Float32 fold(const std_msgs::Float64& m) { return foldScalar<std_msgs::Float32>(m); }
std_msgs::Int32MultiArray fold(const std_msgs::Int8MultiArray& m) { return foldArray<std_msgs::Int32MultiArray>(m); }
std_msgs::Int32MultiArray fold(const std_msgs::Int16MultiArray& m) { return foldArray<std_msgs::Int32MultiArray>(m); }
std_msgs::Int32MultiArray fold(const std_msgs::Int32MultiArray& m) { return m; }
std_msgs::Int32MultiArray fold(const std_msgs::Int64MultiArray& m) { return foldArray<std_msgs::Int32MultiArray>(m); }
std_msgs::Int32MultiArray fold(const std_msgs::UInt8MultiArray& m) { return foldArray<std_msgs::Int32MultiArray>(m); }
std_msgs::Int32MultiArray fold(const std_msgs::UInt16MultiArray& m) {
  return foldArray<std_msgs::Int32MultiArray>(m);
}
std_msgs::Int32MultiArray fold(const std_msgs::UInt32MultiArray& m) {
  return foldArray<std_msgs::Int32MultiArray>(m);
}
std_msgs::Int32MultiArray fold(const std_msgs::UInt64MultiArray& m) {
  return foldArray<std_msgs::Int32MultiArray>(m);
}
std_msgs::Float32MultiArray fold(const std_msgs::Float32MultiArray& m) { return m; }
std_msgs::Float32MultiArray fold(const std_msgs::Float64MultiArray& m) {
  return foldArray<std_msgs::Float32MultiArray>(m);
}

std::string layoutFault(const std_msgs::MultiArrayLayout& layout, std::size_t dataSize, ArrayFormat format) {
  if (format == ArrayFormat::None) return "";
  const std::string name = std::string("\"") + formatNames[static_cast<int>(format) - 1] + "\"";
  const std::size_t dims = isMatrix(format) ? 2 : 1;
  if (layout.dim.size() < dims)
    return name + " reads " + std::to_string(dims) + " layout dimension(s), the message has " +
           std::to_string(layout.dim.size());
  std::uint64_t values = isComplex(format) ? 2 : 1;
  for (std::size_t i = 0; i < dims; ++i) {
    const std::uint64_t size = layout.dim[i].size;
    if (size > murvmsg::maxHostValues)
      return "dimension " + std::to_string(i) + " has size " + std::to_string(size) + ", more than " +
             std::to_string(murvmsg::maxHostValues);
    values *= size;  // at most 2 x 2^48
  }
  if (values > murvmsg::maxHostValues)
    return name + " reads " + std::to_string(values) + " values, more than " + std::to_string(murvmsg::maxHostValues);
  if (values > dataSize)
    return name + " reads " + std::to_string(values) + " values, the message holds " + std::to_string(dataSize);
  return "";
}

MURV::ObjectRef toHost(const std_msgs::Bool& m, ArrayFormat) { return m.data ? MURV::TrueObject : MURV::FalseObject; }
MURV::ObjectRef toHost(const std_msgs::String& m, ArrayFormat) { return MURV::ObjectRef(new MURV::String(m.data)); }
MURV::ObjectRef toHost(const std_msgs::Int32& m, ArrayFormat) {
  return MURV::ObjectRef(new MURV::NetCType<int>(m.data));
}
MURV::ObjectRef toHost(const std_msgs::Float32& m, ArrayFormat) {
  return MURV::ObjectRef(new MURV::NetCType<float>(m.data));
}
MURV::ObjectRef toHost(const std_msgs::Int32MultiArray& m, ArrayFormat format) {
  return arrayToHost<int>(m.layout, m.data, format);
}
MURV::ObjectRef toHost(const std_msgs::Float32MultiArray& m, ArrayFormat format) {
  return arrayToHost<float>(m.layout, m.data, format);
}

MURV::ObjectRef emptyArray(Category category, ArrayFormat format) {
  std_msgs::MultiArrayLayout empty;
  empty.dim.resize(2);
  if (category == Category::Int32MultiArray) return arrayToHost<int>(empty, std::vector<int>(), format);
  if (category == Category::Float32MultiArray) return arrayToHost<float>(empty, std::vector<float>(), format);
  return MURV::ObjectRef();
}

}  // namespace murvstd
