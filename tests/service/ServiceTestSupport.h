// What the integer service tests share: the nodes made through the registry
// and their outputs read.
#ifndef MURV_SERVICE_TEST_SUPPORT_H
#define MURV_SERVICE_TEST_SUPPORT_H

#include <string>

#include "Node.h"
#include "ParameterSet.h"
#include "String.h"
#include "net_types.h"

namespace servicetest {

template <class T>
MURV::Node* create(const std::string& type, const std::string& name, const char* key, const std::string& text,
                   const char* key2 = nullptr, T value = T()) {
  MURV::ParameterSet p;
  p.add(key, MURV::ObjectRef(new MURV::String(text)));
  if (key2) p.add(key2, MURV::ObjectRef(new MURV::NetCType<T>(value)));
  return MURV::Node::getFactoryNamed(type)->Create(name, p);
}
// Joined to ROS (a master must be running) and initialised.
inline MURV::Node* generator(const std::string& rosName) {
  MURV::Node* n = create<int>("RosNodeGenerator", "ros", "NODE_NAME", rosName);
  n->initialize();
  return n;
}
inline MURV::Node* server(const std::string& service, float duration) {
  return create("RosAddMurvIntServer", "server", "TOPIC_NAME", service, "ROS_DURATION", duration);
}
inline MURV::Node* client(const std::string& service, int param) {
  return create("RosAddMurvIntClient", "client", "TOPIC_NAME", service, "PARAM", param);
}
inline int output(MURV::Node* n, int count) {
  return MURV::dereference_cast<int>(n->getOutput(n->getOutputID("OUTPUT1"), count));
}

}  // namespace servicetest

#endif
