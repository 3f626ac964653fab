// What the standard-message receivers' tests share: the two nodes as a
// network drives them, messages in the layouts the standard-message
// publishers write, and a short text of any host value the nodes output.
#ifndef MURV_STD_MSGS_TEST_SUPPORT_H
#define MURV_STD_MSGS_TEST_SUPPORT_H

#include <complex>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Matrix.h"
#include "nodes/RosStdMsgsSubscriber.h"
#include "nodes/StdMsgsStreamFromRos.h"
#include "StreamTestSupport.h"
#include "Vector.h"

namespace stdtest {

using namespace streamtest;
using murvtest::waitFor;

// The parameters of RosStdMsgsSubscriber (stream false) or
// StdMsgsStreamFromRos, on the topic /std_test/<type>.
inline MURV::ParameterSet nodeParams(bool stream, const std::string& type, const std::string& format,
                                     Overrides overrides = {}) {
  // insert keeps the values overrides already has.
  overrides.insert({{"ROS_MESSAGE_TYPE", stringParam(type)}, {"OUT_ARRAY_FORMAT", stringParam(format)},
                    {"TOPIC_NAME", stringParam("/std_test/" + type)}, {"ENABLE_DEBUG", boolParam(false)},
                    {"ROS_LOOP_RATE", floatParam(1000.0f)}, {"MSG_BUFFER_NUM", intParam(100)},
                    {"DATA_BUFFER_NUM", intParam(20)}});
  if (stream) overrides.insert({{"KILL_TIME_LEN", intParam(200000)}, {"KILL_NETWORK", boolParam(true)}});
  else overrides.insert({{"BOOL_DEFAULT", boolParam(true)}, {"INT_DEFAULT", intParam(-7)},
                         {"FLOAT_DEFAULT", floatParam(2.5f)}, {"REMAIN_LATEST", boolParam(false)}});
  MURV::ParameterSet p;
  for (const auto& o : overrides) p.add(o.first, o.second);
  return p;
}

// Writes "Vector<name> 1 2" or "Matrix<name> 2x3 1 2 3 4 5 6" for a vector
// or matrix of T; answers whether o is one.
template <class T> bool describeArray(std::ostream& out, MURV::Object* o, const char* name) {
  std::vector<T> values;
  if (auto* v = dynamic_cast<MURV::Vector<T>*>(o)) {
    out << "Vector<" << name << ">";
    values.assign(v->begin(), v->end());
  } else if (auto* m = dynamic_cast<MURV::Matrix<T>*>(o)) {
    out << "Matrix<" << name << "> " << m->rows << "x" << m->cols;
    values.assign(m->data, m->data + m->msize());
  } else {
    return false;
  }
  for (const T& e : values) out << " " << e;
  return true;
}

// "true", "false" (the shared objects themselves), "Int -3", "Float 0.5",
// "String text", "Vector<int> 1 2", "Matrix<float> 2x3 1 2 3 4 5 6"
// (complex elements as (re,im)); "none" for no object. Floats are written
// with the given number of significant digits.
inline std::string describe(const MURV::ObjectRef& r, int precision = 6) {
  MURV::Object* o = r.get();
  if (!o) return "none";
  if (o == MURV::TrueObject.get()) return "true";
  if (o == MURV::FalseObject.get()) return "false";
  std::ostringstream out;
  out.precision(precision);
  if (auto* i = dynamic_cast<MURV::NetCType<int>*>(o)) out << "Int " << i->value;
  else if (auto* f = dynamic_cast<MURV::NetCType<float>*>(o)) out << "Float " << f->value;
  else if (auto* s = dynamic_cast<MURV::String*>(o)) out << "String " << static_cast<std::string&>(*s);
  else if (!describeArray<int>(out, o, "int") && !describeArray<float>(out, o, "float") &&
           !describeArray<std::complex<float>>(out, o, "complex"))
    out << "other";
  return out.str();
}

// Either node, initialised; OUTPUT is output 0, the stream's NOT_EOF 1.
struct Receiver {
  subtest::NodePtr node;
  const std::string type;
  const murvstd::Category category;  // the FIFO its messages go to
  int count = 0;
  Receiver(bool stream, const std::string& name, const std::string& type, const std::string& format,
           const Overrides& overrides = {})
      : node(subtest::createNode(stream ? "StdMsgsStreamFromRos" : "RosStdMsgsSubscriber", name,
                                 nodeParams(stream, type, format, overrides))),
        type(type), category(murvstd::categoryOf(murvstd::stdTypeNamed(type))) {
    node->initialize();
  }
  std::string get(int c, int precision = 6) { return describe(node->getOutput(0, c), precision); }
  std::string next(int n = 1, int precision = 6) {  // what the next n counts output, joined by ";"
    std::string out = get(count++, precision);
    while (--n > 0) out += ";" + get(count++, precision);
    return out;
  }
  bool notEof(int c) { return MURV::dereference_cast<bool>(node->getOutput(1, c)); }
  murvstd::StdMsgsHolder& holder() {
    if (auto* s = dynamic_cast<StdMsgsStreamFromRos*>(node.get())) return s->callbackHolder();
    return dynamic_cast<RosStdMsgsSubscriber&>(*node).callbackHolder();
  }
};

// The publishers' layouts: a vector {"vector_data", n, n}; a matrix
// {"rows", r, r x c}, {"cols", c, c}, and {"complex", 2, 2} with (real,
// imaginary) pairs interleaved.
template <class M, class T>
M arrayMsg(const std::vector<T>& values, std::vector<unsigned> shape = {}, bool complex = false) {
  auto dim = [](const char* label, unsigned size, unsigned stride) {
    std_msgs::MultiArrayDimension d;
    d.label = label, d.size = size, d.stride = stride;
    return d;
  };
  M m;
  if (shape.empty()) m.layout.dim = {dim("vector_data", values.size(), values.size())};
  else m.layout.dim = {dim("rows", shape[0], shape[0] * shape[1]), dim("cols", shape[1], shape[1])};
  if (complex) m.layout.dim.push_back(dim("complex", 2, 2));
  m.data.assign(values.begin(), values.end());
  return m;
}

// A scalar message of value v, and a message shared as a callback takes it.
template <class M, class V> M msg(V v) {
  M m;
  m.data = v;
  return m;
}
template <class M> boost::shared_ptr<const M> shared(const M& m) { return boost::make_shared<const M>(m); }
template <class M, class V> boost::shared_ptr<const M> shared(V v) { return shared(msg<M>(v)); }

// A message for a holder's callback of type M: a scalar's value, or an
// array's values in the publishers' layout of the given shape.
struct Given {
  std::string type;  // M's name, "Int8" for std_msgs/Int8
  murvstd::Category category;
  std::function<void(murvstd::StdMsgsHolder&)> to;
};
template <class M, class V>
Given given(void (murvstd::StdMsgsHolder::*callback)(const boost::shared_ptr<const M>&), V v,
            std::vector<unsigned> shape = {}, bool complex = false) {
  M m;
  if constexpr (std::is_class_v<V>) m = arrayMsg<M>(v, shape, complex);
  else m.data = v;
  const std::string type = ros::message_traits::datatype<M>() + std::strlen("std_msgs/");
  return {type, murvstd::categoryOf(murvstd::stdTypeNamed(type)),
          [=](murvstd::StdMsgsHolder& h) { (h.*callback)(shared(m)); }};
}

}  // namespace stdtest

#endif
