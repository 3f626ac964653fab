// What the tests of SyncMurvMsgsAndJointState share: its parameters, the
// node as a network drives it, and joint states that say their own stamp.
#ifndef MURV_SYNC_TEST_SUPPORT_H
#define MURV_SYNC_TEST_SUPPORT_H

#include <cstdint>

#include "StreamTestSupport.h"
#include "SyncMurvMsgsAndJointState.h"
#include "Vector.h"

namespace synctest {

using namespace streamtest;
using subtest::shared;

inline ros::Time at(std::int64_t micros) {
  return ros::Time(std::uint32_t(micros / 1000000), std::uint32_t(micros % 1000000) * 1000);
}

// A joint state at micros whose one position is its milliseconds within the
// second, and whose velocity is minus that.
inline sensor_msgs::JointState jointAt(std::int64_t micros, std::uint32_t seq = 0) {
  sensor_msgs::JointState s;
  s.header.seq = seq;
  s.header.stamp = at(micros);
  s.position = {double(micros % 1000000) / 1000.0};
  s.velocity = {-s.position[0]};
  return s;
}

// A SyncMurvMsgsAndJointState with the given data ports, initialised: audio
// topics /sync_test/<type>, joint states on /sync_test/joints.
struct Sync {
  subtest::NodePtr node;
  int matout = -1, srcout = -1, mapout = -1, position, velocity, timestamp1, timestamp2, notEof;
  Sync(const std::string& name, const std::string& selection, const std::vector<std::string>& ports,
       const Overrides& overrides = {}) {
    MURV::ParameterSet p = streamParams(selection, {}, "/sync_test");
    p.add("TOPIC_NAME", stringParam("/sync_test/joints"));
    p.add("ENABLE_SYNC_DEBUG", boolParam(false));
    p.add("ENABLE_STATUS_DEBUG", boolParam(false));
    for (const auto& o : overrides) p.add(o.first, o.second);
    node = subtest::createNode("SyncMurvMsgsAndJointState", name, p);
    for (const std::string& port : ports) (port == "MATOUT" ? matout : port == "SRCOUT" ? srcout : mapout) =
        node->translateOutput(port);
    position = node->translateOutput("POSITION");
    velocity = node->translateOutput("VELOCITY");
    timestamp1 = node->translateOutput("TIMESTAMP1");
    timestamp2 = node->translateOutput("TIMESTAMP2");
    notEof = node->translateOutput("NOT_EOF");
    node->initialize();
  }
  bool next(int count) { return MURV::dereference_cast<bool>(node->getOutput(notEof, count)); }
  MURV::ObjectRef get(int id, int count) { return node->getOutput(id, count); }
  Stamp stamp1(int count) { return stampOf(get(timestamp1, count)); }
  Stamp stamp2(int count) { return stampOf(get(timestamp2, count)); }
  std::vector<float> floats(int id, int count) { return MURV::object_cast<MURV::Vector<float>>(get(id, count)); }
  SyncMurvMsgsAndJointState& sync() { return dynamic_cast<SyncMurvMsgsAndJointState&>(*node); }
  callbackFuncSyncMurvMsgsAndJointState& holder() { return sync().streamHolder(); }
  void joint(const sensor_msgs::JointState& s) { sync().jointHolder().cb(shared(s)); }
};

}  // namespace synctest

#endif
