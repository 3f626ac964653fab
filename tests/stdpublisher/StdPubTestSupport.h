#ifndef MURV_TESTS_STD_PUB_TEST_SUPPORT_H
#define MURV_TESTS_STD_PUB_TEST_SUPPORT_H

// What the standard-message publishers' tests share: their parameter set,
// boxed values and constant feeds, and either node type made through the
// registry, connected and initialised.

#include "PublisherTestSupport.h"

namespace stdpubtest {

using namespace pubtest;

inline MURV::ParameterSet stdParams(const std::string& type, const std::string& topic, float loopRate = 1000.0f,
                                    float maxFrequency = 0.0f) {
  MURV::ParameterSet p;
  p.add("ENABLE_DEBUG", MURV::TrueObject);
  p.add("ROS_MESSAGE_TYPE", ObjectRef(new MURV::String(type)));
  p.add("TOPIC_NAME", ObjectRef(new MURV::String(topic)));
  p.add("BUFFER_NUM", ObjectRef(new MURV::NetCType<int>(100)));
  p.add("MAX_FREQUENCY", ObjectRef(new MURV::NetCType<float>(maxFrequency)));
  p.add("ROS_LOOP_RATE", ObjectRef(new MURV::NetCType<float>(loopRate)));
  return p;
}

template <class T> ObjectRef boxed(T v) { return ObjectRef(new MURV::NetCType<T>(v)); }

// A feed giving the same object for every count.
inline Feed* constant(const ObjectRef& v) { return new Feed("constant", [v](int) { return v; }); }

// A node of type nodeType made as the host makes it; its constructor line is
// swallowed.
inline MURV::Node* makeNode(const std::string& nodeType, const std::string& name, const MURV::ParameterSet& p) {
  MURV::Node* node = nullptr;
  stdoutOf([&] { node = MURV::Node::getFactoryNamed(nodeType)->Create(name, p); });
  return node;
}

// A publisher node with INPUT and COND fed by the nodes given (none: left
// unconnected), initialised quietly.
inline MURV::Node* node(const std::string& type, const std::string& name, const MURV::ParameterSet& p,
                        MURV::Node* input, MURV::Node* cond = nullptr) {
  MURV::Node* n = makeNode(type, name, p);
  if (input) n->connectToNode("INPUT", input, "OUTPUT");
  if (cond) n->connectToNode("COND", cond, "OUTPUT");
  stdoutOf([&] { n->initialize(); });
  return n;
}

}  // namespace stdpubtest

#endif
