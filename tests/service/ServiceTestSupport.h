// What the integer service tests share: the server of "add" (answering after
// a pause) and its client, made through the registry and initialised.
#ifndef MURV_SERVICE_TEST_SUPPORT_H
#define MURV_SERVICE_TEST_SUPPORT_H

#include "RosTestSupport.h"

namespace servicetest {

using subtest::NodePtr;
using subtest::RosNetwork;

template <class T>
NodePtr create(const char* type, const char* name, const char* key, T value) {
  MURV::ParameterSet p;
  p.add("TOPIC_NAME", subtest::stringParam("add"));
  p.add(key, MURV::ObjectRef(new MURV::NetCType<T>(value)));
  NodePtr n = subtest::createNode(type, name, p);
  n->initialize();
  return n;
}
inline NodePtr server(float pause) { return create("RosAddMurvIntServer", "server", "ROS_DURATION", pause); }
inline NodePtr client(int param) { return create("RosAddMurvIntClient", "client", "PARAM", param); }
inline int output(const NodePtr& n, int count) {
  return MURV::dereference_cast<int>(n->getOutput(n->getOutputID("OUTPUT1"), count));
}

}  // namespace servicetest

#endif
