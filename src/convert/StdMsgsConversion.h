#ifndef MURV_STD_MSGS_CONVERSION_H
#define MURV_STD_MSGS_CONVERSION_H

// The standard-message bridge's table: which std_msgs message a host object
// becomes, chosen by the object's exact type and a message type name, and the
// layouts in which vectors and matrices travel as multi-arrays. Whoever reads
// these messages back uses the same names and layout labels.
//
// The twenty-two rows, by message type name (the std_msgs type of that name):
//   "Bool"                 NetCType<bool>   the value
//   "String"               String           the text
//   "Int8" ... "UInt64"    NetCType<int>    the value cast to the message's
//                                           integer type: low bits kept, and
//                                           64 bits sign-extended (-1 as
//                                           "UInt64" is 2^64 - 1)
//   "Float32", "Float64"   NetCType<float>  the value (widened for Float64)
//   "Int8MultiArray" ... "UInt64MultiArray"
//                          Vector<int>, Matrix<int>
//                                           each element as its scalar row
//   "Float32MultiArray", "Float64MultiArray"
//                          Vector<float>, Matrix<float>,
//                          Matrix<complex<float> >
//                                           each float as its scalar row; a
//                                           complex element as real, imaginary
// No row converts between families (an int never goes out as a float type or
// as a multi-array): such a pair is a mismatch.
//
// Multi-array layouts, data_offset always 0:
//   vector of n           dim {"vector_data", n, n}
//   r x c matrix          dim {"rows", r, r*c}, {"cols", c, c}; data row by row
//   r x c complex matrix  dim {"rows", r, r*c}, {"cols", c, c}, {"complex", 2, 2};
//                         data 2*(i*c+j) real, 2*(i*c+j)+1 imaginary
//                         (the first two strides are not doubled)

#include <ros/message_traits.h>
#include <ros/node_handle.h>
#include <ros/serialization.h>
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
#include <std_msgs/MultiArrayLayout.h>
#include <std_msgs/String.h>
#include <std_msgs/UInt16.h>
#include <std_msgs/UInt16MultiArray.h>
#include <std_msgs/UInt32.h>
#include <std_msgs/UInt32MultiArray.h>
#include <std_msgs/UInt64.h>
#include <std_msgs/UInt64MultiArray.h>
#include <std_msgs/UInt8.h>
#include <std_msgs/UInt8MultiArray.h>

#include <complex>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "BaseException.h"
#include "Matrix.h"
#include "ObjectRef.h"
#include "String.h"
#include "Vector.h"
#include "net_types.h"
#include "ros/TopicTypes.h"

namespace stdmsgs {

// The labels of the multi-array dimensions.
extern const char* const kVectorLabel;   // "vector_data"
extern const char* const kRowsLabel;     // "rows"
extern const char* const kColsLabel;     // "cols"
extern const char* const kComplexLabel;  // "complex"

std_msgs::MultiArrayLayout vectorLayout(std::size_t n);
std_msgs::MultiArrayLayout matrixLayout(int rows, int cols);
std_msgs::MultiArrayLayout complexMatrixLayout(int rows, int cols);

// How many elements a rows x cols matrix carries: none when either count is
// 0 or less.
std::uint64_t matrixElements(int rows, int cols);

// The host object a multi-array is made from, as a refusal names it: a
// vector of `rows` elements when `cols` is negative, else a rows x cols
// matrix.
struct ArrayShape {
  std::int64_t rows;
  std::int64_t cols;
};

// The value count of a multi-array message of row `row` with this layout
// and `count` values of `elementSize` bytes each, when the whole message
// fits one ROS message. A larger one is refused, before anything is
// written, with a GeneralException naming the row and the shape.
std::uint32_t sendableCount(const char* row, const std_msgs::MultiArrayLayout& layout, std::uint64_t count,
                            std::size_t elementSize, ArrayShape shape);

// A String message of text, refused as above when too long.
void checkSendable(const std::string& text);

// Whether name is one of the twenty-two message type names (exact,
// case-sensitive).
bool isTypeName(const std::string& name);

// Advertises the message type of that name on topic; an empty publisher for
// a name outside the table.
ros::Publisher advertise(ros::NodeHandle& nh, const std::string& name, const std::string& topic,
                         std::uint32_t queueSize);

// The message type of that name; empty for a name outside the table.
murvnode::MessageType messageType(const std::string& name);

// A multi-array message as it goes on the wire, its data read in place from
// the host object: serialised, it gives exactly the bytes of Msg with this
// layout and `count` values, each `values[i]` cast to Msg's element type. So
// the values are copied once, into roscpp's send buffer, and converted on the
// way. The host object must outlive the frame's publication.
template <class Msg, class Src> struct ArrayFrame {
  typedef typename Msg::_data_type::value_type Element;
  std_msgs::MultiArrayLayout layout;
  const Src* values = nullptr;
  std::uint32_t count = 0;
};

// n floats widened to doubles, stored little-endian at out, which needs no
// alignment.
void widenFloats(const float* values, std::uint32_t n, std::uint8_t* out);

// What a conversion came to.
enum class Outcome {
  Built,      // a row matched: the message was handed to emit
  Mismatch,   // the host type has rows, but none of that name
  NoRow,      // no row takes this host type (or there is no object at all)
};

namespace detail {

template <class... M> struct Rows {};
template <class M> struct Tag { typedef M type; };

// The row name of a std_msgs type is its type name: "std_msgs/Int8" is "Int8".
template <class M> const char* rowName() { return ros::message_traits::DataType<M>::value() + 9; }

// Calls f(Tag<M>()) for the row M named name; answers whether there was one.
template <class F, class... M> bool withRow(const std::string& name, Rows<M...>, F&& f) {
  return ((name == rowName<M>() ? (f(Tag<M>()), true) : false) || ...);
}

typedef Rows<std_msgs::Bool> BoolRows;
typedef Rows<std_msgs::String> StringRows;
typedef Rows<std_msgs::Int8, std_msgs::Int16, std_msgs::Int32, std_msgs::Int64, std_msgs::UInt8, std_msgs::UInt16,
             std_msgs::UInt32, std_msgs::UInt64>
    IntRows;
typedef Rows<std_msgs::Float32, std_msgs::Float64> FloatRows;
typedef Rows<std_msgs::Int8MultiArray, std_msgs::Int16MultiArray, std_msgs::Int32MultiArray,
             std_msgs::Int64MultiArray, std_msgs::UInt8MultiArray, std_msgs::UInt16MultiArray,
             std_msgs::UInt32MultiArray, std_msgs::UInt64MultiArray>
    IntArrayRows;
typedef Rows<std_msgs::Float32MultiArray, std_msgs::Float64MultiArray> FloatArrayRows;

template <class List, class V, class Emit> Outcome scalar(const std::string& name, const V& value, Emit& emit) {
  const bool built = withRow(name, List(), [&](auto tag) {
    typename decltype(tag)::type msg;
    msg.data = static_cast<decltype(msg.data)>(value);
    emit(msg);
  });
  return built ? Outcome::Built : Outcome::Mismatch;
}

template <class List, class Src, class Emit>
Outcome array(const std::string& name, std_msgs::MultiArrayLayout&& layout, const Src* values, std::uint64_t count,
              ArrayShape shape, Emit& emit) {
  const bool built = withRow(name, List(), [&](auto tag) {
    typedef ArrayFrame<typename decltype(tag)::type, Src> Frame;
    Frame frame;
    frame.count = sendableCount(rowName<typename decltype(tag)::type>(), layout, count,
                                sizeof(typename Frame::Element), shape);
    frame.layout = std::move(layout);
    frame.values = values;
    emit(frame);
  });
  return built ? Outcome::Built : Outcome::Mismatch;
}

template <class T> const T* exactly(const MURV::Object& o) {
  return typeid(o) == typeid(T) ? static_cast<const T*>(&o) : nullptr;
}

template <class T> ArrayShape vectorShape(const MURV::Vector<T>& v) {
  return ArrayShape{static_cast<std::int64_t>(v.size()), -1};
}

}  // namespace detail

// Builds the message of row `name` from the host object `in` and hands it to
// emit, a callable taking any of the row's messages by const reference (a
// std_msgs scalar message, or an ArrayFrame for the multi-arrays). The row is
// chosen by in's exact type (a derived type does not match) and name.
template <class Emit> Outcome convert(const MURV::Object* in, const std::string& name, Emit&& emit) {
  using namespace detail;
  if (!in) return Outcome::NoRow;
  if (auto* b = exactly<MURV::NetCType<bool> >(*in)) return scalar<BoolRows>(name, b->value, emit);
  if (auto* s = exactly<MURV::String>(*in)) {
    if (name == rowName<std_msgs::String>()) checkSendable(*s);
    return scalar<StringRows>(name, static_cast<const std::string&>(*s), emit);
  }
  if (auto* i = exactly<MURV::NetCType<int> >(*in)) return scalar<IntRows>(name, i->value, emit);
  if (auto* f = exactly<MURV::NetCType<float> >(*in)) return scalar<FloatRows>(name, f->value, emit);
  if (auto* v = exactly<MURV::Vector<int> >(*in))
    return array<IntArrayRows>(name, vectorLayout(v->size()), v->data(), v->size(), vectorShape(*v), emit);
  if (auto* v = exactly<MURV::Vector<float> >(*in))
    return array<FloatArrayRows>(name, vectorLayout(v->size()), v->data(), v->size(), vectorShape(*v), emit);
  if (auto* m = exactly<MURV::Matrix<int> >(*in))
    return array<IntArrayRows>(name, matrixLayout(m->rows, m->cols), m->data, matrixElements(m->rows, m->cols),
                               ArrayShape{m->rows, m->cols}, emit);
  if (auto* m = exactly<MURV::Matrix<float> >(*in))
    return array<FloatArrayRows>(name, matrixLayout(m->rows, m->cols), m->data, matrixElements(m->rows, m->cols),
                                 ArrayShape{m->rows, m->cols}, emit);
  if (auto* m = exactly<MURV::Matrix<std::complex<float> > >(*in)) {
    // A complex<float> is laid out as its real part then its imaginary part,
    // so the elements read as 2 * r * c floats.
    return array<FloatArrayRows>(name, complexMatrixLayout(m->rows, m->cols), reinterpret_cast<const float*>(m->data),
                                 2u * matrixElements(m->rows, m->cols), ArrayShape{m->rows, m->cols}, emit);
  }
  return Outcome::NoRow;
}

}  // namespace stdmsgs

// A frame is published as its message type: the same datatype, MD5 sum and
// definition.
namespace ros {
namespace message_traits {

template <class Msg, class Src> struct IsMessage<stdmsgs::ArrayFrame<Msg, Src> > : TrueType {};
template <class Msg, class Src> struct MD5Sum<stdmsgs::ArrayFrame<Msg, Src> > {
  static const char* value() { return MD5Sum<Msg>::value(); }
  static const char* value(const stdmsgs::ArrayFrame<Msg, Src>&) { return value(); }
};
template <class Msg, class Src> struct DataType<stdmsgs::ArrayFrame<Msg, Src> > {
  static const char* value() { return DataType<Msg>::value(); }
  static const char* value(const stdmsgs::ArrayFrame<Msg, Src>&) { return value(); }
};
template <class Msg, class Src> struct Definition<stdmsgs::ArrayFrame<Msg, Src> > {
  static const char* value() { return Definition<Msg>::value(); }
  static const char* value(const stdmsgs::ArrayFrame<Msg, Src>&) { return value(); }
};

}  // namespace message_traits

namespace serialization {

// What the generated serializer writes for a multi-array: the layout, the
// value count, the values little-endian as the element type.
template <class Msg, class Src> struct Serializer<stdmsgs::ArrayFrame<Msg, Src> > {
  typedef stdmsgs::ArrayFrame<Msg, Src> Frame;
  typedef typename Frame::Element Element;

  template <typename Stream> static void write(Stream& stream, const Frame& f) {
    stream.next(f.layout);
    stream.next(f.count);
    if (!f.count) return;
    // The count was checked against one message's length when the frame was
    // made, so its bytes fit 32 bits; the room taken and the bytes copied
    // are this one number.
    const std::uint32_t bytes = f.count * static_cast<std::uint32_t>(sizeof(Element));
    std::uint8_t* out = stream.advance(bytes);
    if constexpr (std::is_same<Element, Src>::value) {
      std::memcpy(out, f.values, bytes);
    } else if constexpr (std::is_same<Src, float>::value && std::is_same<Element, double>::value) {
      stdmsgs::widenFloats(f.values, f.count, out);
    } else {
      // The values and their count are read once: writes through `out`
      // might otherwise change them.
      const Src* const values = f.values;
      const std::uint32_t count = f.count;
      for (std::uint32_t i = 0; i < count; ++i) {
        const Element e = static_cast<Element>(values[i]);
        std::memcpy(out + i * sizeof(Element), &e, sizeof e);
      }
    }
  }
  static std::uint32_t serializedLength(const Frame& f) {
    return serializationLength(f.layout) + 4u + f.count * static_cast<std::uint32_t>(sizeof(Element));
  }
};

}  // namespace serialization
}  // namespace ros

#endif
