// What the standard-message receivers' tests share: the two nodes as a
// network drives them, messages in the layouts the standard-message
// publishers write, and a short text of any host value the nodes output.
#ifndef MURV_STD_MSGS_TEST_SUPPORT_H
#define MURV_STD_MSGS_TEST_SUPPORT_H

#include <complex>
#include <sstream>
#include <string>
#include <vector>

#include "Matrix.h"
#include "RosStdMsgsSubscriber.h"
#include "StdMsgsStreamFromRos.h"
#include "StreamTestSupport.h"
#include "Vector.h"

namespace stdtest {

using namespace streamtest;
using subtest::boolParam;
using subtest::intParam;
using subtest::stringParam;

// The parameters of RosStdMsgsSubscriber (stream false) or
// StdMsgsStreamFromRos, on the topic /std_test/<type>.
inline MURV::ParameterSet nodeParams(bool stream, const std::string& type, const std::string& format,
                                     const Overrides& overrides = {}) {
  Overrides all = {{"ROS_MESSAGE_TYPE", stringParam(type)}, {"OUT_ARRAY_FORMAT", stringParam(format)},
                   {"TOPIC_NAME", stringParam("/std_test/" + type)}, {"ENABLE_DEBUG", boolParam(false)},
                   {"ROS_LOOP_RATE", floatParam(1000.0f)},        {"MSG_BUFFER_NUM", intParam(100)},
                   {"DATA_BUFFER_NUM", intParam(20)}};
  if (stream) all.insert({{"KILL_TIME_LEN", intParam(200000)}, {"KILL_NETWORK", boolParam(true)}});
  else all.insert({{"BOOL_DEFAULT", boolParam(false)}, {"INT_DEFAULT", intParam(-7)},
                   {"FLOAT_DEFAULT", floatParam(2.5f)}, {"REMAIN_LATEST", boolParam(false)}});
  for (const auto& o : overrides) all[o.first] = o.second;
  MURV::ParameterSet p;
  for (const auto& o : all) p.add(o.first, o.second);
  return p;
}

// "true", "false" (the shared objects themselves), "Int -3", "Float 0.5",
// "String text", "Vector<int> 1 2", "Matrix<float> 2x3 1 2 3 4 5 6"
// (complex elements as (re,im)); "none" for no object. Floats are written
// with the given number of significant digits.
inline std::string describe(const MURV::ObjectRef& r, int precision = 6) {
  MURV::Object* o = r.get();
  if (!o) return "none";
  if (o == MURV::TrueObject.get() || o == MURV::FalseObject.get())
    return o == MURV::TrueObject.get() ? "true" : "false";
  std::ostringstream out;
  out.precision(precision);
  auto vector = [&](auto* v, const char* name) {
    if (!v) return false;
    out << name;
    for (const auto& e : *v) out << " " << e;
    return true;
  };
  auto matrix = [&](auto* m, const char* name) {
    if (!m) return false;
    out << name << " " << m->rows << "x" << m->cols;
    for (std::int64_t k = 0; k < m->msize(); ++k) out << " " << m->data[k];
    return true;
  };
  using C = std::complex<float>;
  if (auto* i = dynamic_cast<MURV::NetCType<int>*>(o)) out << "Int " << i->value;
  else if (auto* f = dynamic_cast<MURV::NetCType<float>*>(o)) out << "Float " << f->value;
  else if (auto* s = dynamic_cast<MURV::String*>(o)) out << "String " << static_cast<std::string&>(*s);
  else if (!vector(dynamic_cast<MURV::Vector<int>*>(o), "Vector<int>") &&
           !vector(dynamic_cast<MURV::Vector<float>*>(o), "Vector<float>") &&
           !vector(dynamic_cast<MURV::Vector<C>*>(o), "Vector<complex>") &&
           !matrix(dynamic_cast<MURV::Matrix<int>*>(o), "Matrix<int>") &&
           !matrix(dynamic_cast<MURV::Matrix<float>*>(o), "Matrix<float>") &&
           !matrix(dynamic_cast<MURV::Matrix<C>*>(o), "Matrix<complex>"))
    out << "other";
  return out.str();
}

// Either node, initialised; OUTPUT is output 0, the stream's NOT_EOF 1.
struct Receiver {
  subtest::NodePtr node;
  int count = 0;
  Receiver(bool stream, const std::string& name, const std::string& type, const std::string& format,
           const Overrides& overrides = {})
      : node(subtest::createNode(stream ? "StdMsgsStreamFromRos" : "RosStdMsgsSubscriber", name,
                                 nodeParams(stream, type, format, overrides))) {
    node->initialize();
  }
  std::string get(int c) { return describe(node->getOutput(0, c)); }
  std::string next() { return get(count++); }  // what the next count outputs
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

template <class M, class V>
boost::shared_ptr<const M> shared(V v) {
  M m;
  m.data = v;
  return boost::make_shared<const M>(m);
}

}  // namespace stdtest

#endif
