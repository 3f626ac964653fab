#ifndef MURV_TESTS_PUBLISHER_TEST_SUPPORT_H
#define MURV_TESTS_PUBLISHER_TEST_SUPPORT_H

// What the publisher's tests share: host objects made from plain values, a
// source node that feeds whatever a test asks for, and the publisher's
// parameter set.

#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Map.h"
#include "Matrix.h"
#include "Node.h"
#include "ObjectRef.h"
#include "SharedObjects.h"
#include "Source.h"
#include "String.h"
#include "TimeStamp.h"
#include "Vector.h"
#include "net_types.h"

namespace pubtest {

using MURV::ObjectRef;
typedef MURV::Map<int, ObjectRef> SourceMap;

// A host matrix of the given rows, all of one length.
template <class T> ObjectRef hostMatrix(const std::vector<std::vector<T> >& rows) {
  const int r = static_cast<int>(rows.size());
  const int c = r ? static_cast<int>(rows[0].size()) : 0;
  MURV::Matrix<T>* m = new MURV::Matrix<T>(r, c);
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < c; ++j) m->data[i * c + j] = rows[i][j];
  return ObjectRef(m);
}

inline ObjectRef matrixOf(const std::vector<std::vector<float> >& rows) { return hostMatrix(rows); }

inline ObjectRef complexMatrixOf(const std::vector<std::vector<std::complex<float> > >& rows) {
  return hostMatrix(rows);
}

inline ObjectRef intMatrixOf(const std::vector<std::vector<int> >& rows) { return hostMatrix(rows); }

inline ObjectRef ints(std::initializer_list<int> values) {
  MURV::Vector<int>* v = new MURV::Vector<int>;
  v->assign(values.begin(), values.end());
  return ObjectRef(v);
}

inline ObjectRef floats(std::initializer_list<float> values) {
  MURV::Vector<float>* v = new MURV::Vector<float>;
  v->assign(values.begin(), values.end());
  return ObjectRef(v);
}

inline ObjectRef complexes(std::initializer_list<std::complex<float> > values) {
  MURV::Vector<std::complex<float> >* v = new MURV::Vector<std::complex<float> >;
  v->assign(values.begin(), values.end());
  return ObjectRef(v);
}

inline ObjectRef source(int id, float x, float y, float z, float power) {
  MURV::Source* s = new MURV::Source;
  s->id = id;
  s->x[0] = x;
  s->x[1] = y;
  s->x[2] = z;
  s->power = power;
  return ObjectRef(s);
}

inline ObjectRef listOf(std::initializer_list<ObjectRef> elements) {
  MURV::Vector<ObjectRef>* v = new MURV::Vector<ObjectRef>;
  v->assign(elements.begin(), elements.end());
  return ObjectRef(v);
}

inline ObjectRef mapOf(std::initializer_list<std::pair<const int, ObjectRef> > entries) {
  SourceMap* m = new SourceMap;
  m->insert(entries.begin(), entries.end());
  return ObjectRef(m);
}

inline ObjectRef timeStamp(long sec, long usec) {
  MURV::TimeStamp* t = new MURV::TimeStamp;
  t->sec = sec;
  t->usec = usec;
  return ObjectRef(t);
}

// An upstream node with one output, "OUTPUT", whose object for each count is
// whatever make(count) gives. It remembers the counts it was asked for.
class Feed : public MURV::Node {
public:
  Feed(const std::string& name, std::function<ObjectRef(int)> make)
      : MURV::Node(name, MURV::ParameterSet()), make_(std::move(make)) {
    addOutput("OUTPUT");
  }
  ObjectRef getOutput(int, int count) override {
    asked.push_back(count);
    return make_(count);
  }
  std::vector<int> asked;

private:
  std::function<ObjectRef(int)> make_;
};

// Owns a node and drops its reference at the end of the scope.
struct NodeRef {
  explicit NodeRef(MURV::Node* n = nullptr) : node(n) {}
  ~NodeRef() {
    if (node) node->unref();
  }
  NodeRef(const NodeRef&) = delete;
  NodeRef& operator=(const NodeRef&) = delete;
  void reset() {
    if (node) node->unref();
    node = nullptr;
  }
  MURV::Node* operator->() const { return node; }
  MURV::Node* node;
};

// Every parameter of the publisher, its topics named prefix + "_wave" and so
// on; a test changes what it needs before it makes the node.
inline MURV::ParameterSet publisherParams(const std::string& prefix) {
  MURV::ParameterSet p;
  p.add("ADVANCE", ObjectRef(new MURV::NetCType<int>(3)));
  p.add("ENABLE_DEBUG", MURV::FalseObject);
  p.add("TOPIC_NAME_MURVWAVE", ObjectRef(new MURV::String(prefix + "_wave")));
  p.add("TOPIC_NAME_MURVFFT", ObjectRef(new MURV::String(prefix + "_fft")));
  p.add("TOPIC_NAME_MURVFEATURE", ObjectRef(new MURV::String(prefix + "_feature")));
  p.add("TOPIC_NAME_MURVSOURCE", ObjectRef(new MURV::String(prefix + "_source")));
  p.add("TOPIC_NAME_MURVSRCWAVE", ObjectRef(new MURV::String(prefix + "_srcwave")));
  p.add("TOPIC_NAME_MURVSRCFFT", ObjectRef(new MURV::String(prefix + "_srcfft")));
  p.add("TOPIC_NAME_MURVSRCFEATURE", ObjectRef(new MURV::String(prefix + "_srcfeature")));
  p.add("TOPIC_NAME_MURVSRCFEATUREMFM", ObjectRef(new MURV::String(prefix + "_srcfeaturemfm")));
  p.add("BUFFER_NUM", ObjectRef(new MURV::NetCType<int>(100)));
  p.add("ROS_LOOP_RATE", ObjectRef(new MURV::NetCType<float>(1000.0f)));
  p.add("ROS_FRAME_ID", ObjectRef(new MURV::String("mic_array")));
  p.add("TIMESTAMP_TYPE", ObjectRef(new MURV::String("ROS_TIME_NOW")));
  p.add("SAMPLING_RATE", ObjectRef(new MURV::NetCType<int>(16000)));
  return p;
}

inline MURV::Node* makePublisher(const std::string& name, const MURV::ParameterSet& params) {
  MURV::_NodeFactory* factory = MURV::Node::getFactoryNamed("RosMurvMsgsPublisher");
  if (!factory) throw std::runtime_error("RosMurvMsgsPublisher is not registered");
  return factory->Create(name, params);
}

// Runs f and hands back the host exception it threw; null (and a failed
// test) when it threw none.
template <class F> std::unique_ptr<MURV::BaseException> hostExceptionOf(F&& f) {
  try {
    f();
  } catch (MURV::BaseException* e) {
    return std::unique_ptr<MURV::BaseException>(e);
  }
  ADD_FAILURE() << "no host exception";
  return nullptr;
}

inline std::string textOf(const std::unique_ptr<MURV::BaseException>& e) { return e ? e->text() : "(none)"; }

// Standard output of f, including what printf wrote.
template <class F> std::string stdoutOf(F&& f) {
  testing::internal::CaptureStdout();
  try {
    f();
  } catch (...) {
    std::fflush(stdout);
    testing::internal::GetCapturedStdout();
    throw;
  }
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

}  // namespace pubtest

#endif
