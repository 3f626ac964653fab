// What the tests of SyncMurvMsgsAndJointState share: its parameters, the
// node as a network drives it, and joint states that say their own stamp.
#ifndef MURV_SYNC_TEST_SUPPORT_H
#define MURV_SYNC_TEST_SUPPORT_H

#include <cstdint>
#include <map>
#include <mutex>

#include "StreamTestSupport.h"
#include "nodes/SyncMurvMsgsAndJointState.h"
#include "Vector.h"

namespace synctest {

using namespace streamtest;
using streamtest::stampOf;
using subtest::shared;

inline ros::Time at(std::int64_t micros) {
  return ros::Time(std::uint32_t(micros / 1000000), std::uint32_t(micros % 1000000) * 1000);
}
inline Stamp stampOf(const ros::Time& t) { return {long(t.sec), long(t.nsec / 1000)}; }

// A joint state at micros whose one position is its milliseconds within the
// second, and whose velocity is minus that.
inline sensor_msgs::JointState jointAt(std::int64_t micros) {
  sensor_msgs::JointState s;
  s.header.stamp = at(micros);
  s.position = {double(micros % 1000000) / 1000.0};
  s.velocity = {-s.position[0]};
  return s;
}

// A SyncMurvMsgsAndJointState on selection, initialised, MATOUT connected for
// MurvWave: audio topics /sync_test/<type>, joint states /sync_test/joints.
struct Sync {
  subtest::NodePtr node;
  std::map<std::string, int> ports;
  Sync(const std::string& name, const std::string& selection, const Overrides& overrides = {}) {
    Overrides all = {{"TOPIC_NAME", stringParam("/sync_test/joints")}, {"ENABLE_SYNC_DEBUG", boolParam(false)},
                     {"ENABLE_STATUS_DEBUG", boolParam(false)}};
    for (const auto& o : overrides) all[o.first] = o.second;
    node = subtest::createNode("SyncMurvMsgsAndJointState", name, streamParams(selection, all, "/sync_test"));
    if (selection == "MurvWave") ports["MATOUT"] = node->translateOutput("MATOUT");
    for (const char* p : {"POSITION", "VELOCITY", "TIMESTAMP1", "TIMESTAMP2", "NOT_EOF"})
      ports[p] = node->translateOutput(p);
    node->initialize();
  }
  MURV::ObjectRef get(const std::string& port, int count) { return node->getOutput(ports.at(port), count); }
  bool next(int count) { return MURV::dereference_cast<bool>(get("NOT_EOF", count)); }
  Stamp stamp1(int count) { return stampOf(get("TIMESTAMP1", count)); }
  Stamp stamp2(int count) { return stampOf(get("TIMESTAMP2", count)); }
  std::vector<float> floats(const char* port, int n) { return MURV::object_cast<MURV::Vector<float>>(get(port, n)); }
  SyncMurvMsgsAndJointState& sync() { return dynamic_cast<SyncMurvMsgsAndJointState&>(*node); }
  callbackFuncSyncMurvMsgsAndJointState& holder() { return sync().streamHolder(); }
  void joint(const sensor_msgs::JointState& s) { sync().jointHolder().cb(shared(s)); }
  // Audio messages queued, of every type.
  std::size_t queued() {
    callbackFuncSyncMurvMsgsAndJointState& h = holder();
    std::lock_guard<std::mutex> g(h.fifo_lock);
    return h.fifo_murvwave.size() + h.fifo_murvfft.size() + h.fifo_murvfeature.size() + h.fifo_murvsource.size() +
           h.fifo_murvsrcwave.size() + h.fifo_murvsrcfft.size() + h.fifo_murvsrcfeature.size() +
           h.fifo_murvsrcfeaturemfm.size();
  }
};

}  // namespace synctest

#endif
