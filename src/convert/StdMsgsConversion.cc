#include "StdMsgsConversion.h"

#include "RosMessageLength.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace stdmsgs {

const char* const kVectorLabel = "vector_data";
const char* const kRowsLabel = "rows";
const char* const kColsLabel = "cols";
const char* const kComplexLabel = "complex";

namespace {

typedef detail::Rows<std_msgs::Bool, std_msgs::String, std_msgs::Int8, std_msgs::Int16, std_msgs::Int32,
                     std_msgs::Int64, std_msgs::UInt8, std_msgs::UInt16, std_msgs::UInt32, std_msgs::UInt64,
                     std_msgs::Float32, std_msgs::Float64, std_msgs::Int8MultiArray, std_msgs::Int16MultiArray,
                     std_msgs::Int32MultiArray, std_msgs::Int64MultiArray, std_msgs::UInt8MultiArray,
                     std_msgs::UInt16MultiArray, std_msgs::UInt32MultiArray, std_msgs::UInt64MultiArray,
                     std_msgs::Float32MultiArray, std_msgs::Float64MultiArray>
    AllRows;

std_msgs::MultiArrayDimension dimension(const char* label, std::uint32_t size, std::uint32_t stride) {
  std_msgs::MultiArrayDimension d;
  d.label = label;
  d.size = size;
  d.stride = stride;
  return d;
}

// Sizes and strides are the host's int counts as uint32; rows x cols is
// taken modulo 2^32, as 32-bit arithmetic gives it, without overflowing.
std::uint32_t u32(std::int64_t n) { return static_cast<std::uint32_t>(n); }

[[noreturn]] void refuse(const std::string& what, const char* row, int line) {
  throw new MURV::GeneralException(what + " is too large for one " + row + " message", "StdMsgsConversion", line);
}

}  // namespace

std_msgs::MultiArrayLayout vectorLayout(std::size_t n) {
  std_msgs::MultiArrayLayout layout;
  layout.dim.push_back(dimension(kVectorLabel, u32(static_cast<std::int64_t>(n)), u32(static_cast<std::int64_t>(n))));
  return layout;
}

std_msgs::MultiArrayLayout matrixLayout(int rows, int cols) {
  std_msgs::MultiArrayLayout layout;
  layout.dim.reserve(2);
  layout.dim.push_back(dimension(kRowsLabel, u32(rows), u32(std::int64_t(rows) * cols)));
  layout.dim.push_back(dimension(kColsLabel, u32(cols), u32(cols)));
  return layout;
}

std_msgs::MultiArrayLayout complexMatrixLayout(int rows, int cols) {
  std_msgs::MultiArrayLayout layout = matrixLayout(rows, cols);
  layout.dim.push_back(dimension(kComplexLabel, 2, 2));
  return layout;
}

std::uint64_t matrixElements(int rows, int cols) {
  return rows > 0 && cols > 0 ? std::uint64_t(rows) * std::uint64_t(cols) : 0u;
}

std::uint32_t sendableCount(const char* row, const std_msgs::MultiArrayLayout& layout, std::uint64_t count,
                            std::size_t elementSize, ArrayShape shape) {
  // The layout, then the value count and the values.
  const std::uint64_t fixed = ros::serialization::serializationLength(layout) + std::uint64_t(4);
  if (murvmsg::fitsOneMessage(fixed, count, elementSize)) return static_cast<std::uint32_t>(count);
  refuse(shape.cols < 0 ? "vector of " + std::to_string(shape.rows) + " elements"
                        : "matrix of " + std::to_string(shape.rows) + " x " + std::to_string(shape.cols),
         row, __LINE__);
}

void checkSendable(const std::string& text) {
  if (!murvmsg::fitsOneMessage(4, text.size(), 1))
    refuse("string of " + std::to_string(text.size()) + " bytes", "String", __LINE__);
}

void widenFloats(const float* values, std::uint32_t n, std::uint8_t* out) {
  std::uint32_t i = 0;
#if defined(__SSE2__)
  // Four at a time: a Float64MultiArray of a large matrix spends its time
  // here, and the compiler does not find this on its own.
  for (; n - i >= 4; i += 4) {
    const __m128 x = _mm_loadu_ps(values + i);
    _mm_storeu_pd(reinterpret_cast<double*>(out + 8 * i), _mm_cvtps_pd(x));
    _mm_storeu_pd(reinterpret_cast<double*>(out + 8 * i + 16), _mm_cvtps_pd(_mm_movehl_ps(x, x)));
  }
#endif
  for (; i < n; ++i) {
    const double d = values[i];
    std::memcpy(out + 8 * i, &d, sizeof d);
  }
}

bool isTypeName(const std::string& name) {
  return detail::withRow(name, AllRows(), [](auto) {});
}

ros::Publisher advertise(ros::NodeHandle& nh, const std::string& name, const std::string& topic,
                         std::uint32_t queueSize) {
  ros::Publisher publisher;
  detail::withRow(name, AllRows(), [&](auto tag) {
    publisher = nh.advertise<typename decltype(tag)::type>(topic, queueSize, false);
  });
  return publisher;
}

murvnode::MessageType messageType(const std::string& name) {
  murvnode::MessageType type;
  detail::withRow(name, AllRows(), [&](auto tag) { type = murvnode::messageTypeOf<typename decltype(tag)::type>(); });
  return type;
}

}  // namespace stdmsgs
