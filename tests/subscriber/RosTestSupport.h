// What the subscriber's ROS tests share: a network with a private master
// and a RosNodeGenerator, reading a node's outputs, and asking the master
// who subscribes to a topic.
#ifndef MURV_SUBSCRIBER_ROS_TEST_SUPPORT_H
#define MURV_SUBSCRIBER_ROS_TEST_SUPPORT_H

#include <ros/master.h>
#include <ros/ros.h>

#include <string>
#include <vector>

#include "RosMaster.h"
#include "nodes/RosMurvMsgsSubscriber.h"
#include "SubscriberTestSupport.h"
#include "TimeStamp.h"

namespace subtest {

// A private master and a joined ROS; nodes declared after it go first.
struct RosNetwork {
  murvtest::RosMaster master;
  NodePtr generator;
  explicit RosNetwork(const std::string& rosName) {
    master.start();
    generator = createGenerator(rosName);
    generator->initialize();
  }
};

inline callbackFuncMurvMsgsSubscriber& holderOf(const NodePtr& node) {
  return dynamic_cast<RosMurvMsgsSubscriber&>(*node).callbackHolder();
}

// A subscriber on selection with the given outputs connected, initialised.
struct Subscriber {
  NodePtr node;
  int matout = -1, srcout = -1, mapout = -1, timestamp = -1;
  Subscriber(const std::string& name, const std::string& selection, const std::vector<std::string>& ports,
             const std::map<std::string, MURV::ObjectRef>& overrides = {}) {
    node = createNode("RosMurvMsgsSubscriber", name, subscriberParams(selection, overrides));
    for (const std::string& p : ports) {
      int id = node->translateOutput(p);
      if (p == "MATOUT") matout = id;
      if (p == "SRCOUT") srcout = id;
      if (p == "MAPOUT") mapout = id;
    }
    timestamp = node->translateOutput("TIMESTAMP");
    node->initialize();
  }
  MURV::ObjectRef get(int id, int count) { return node->getOutput(id, count); }
  std::pair<long, long> stamp(int count) {
    const MURV::TimeStamp& ts = MURV::object_cast<MURV::TimeStamp>(get(timestamp, count));
    return {ts.sec, ts.usec};
  }
  callbackFuncMurvMsgsSubscriber& holder() { return holderOf(node); }
};

// The text of the host exception f throws ("" when none); the exception is
// deleted.
template <class F>
std::string hostError(F f) {
  try {
    f();
  } catch (MURV::BaseException* e) {
    std::string text = e->text();
    delete e;
    return text;
  }
  return "";
}

// The nodes the master lists as subscribers of topic.
inline std::vector<std::string> subscribersOf(const std::string& topic) {
  XmlRpc::XmlRpcValue args, result, payload;
  args[0] = ros::this_node::getName();
  std::vector<std::string> nodes;
  if (!ros::master::execute("getSystemState", args, result, payload, false)) return {"<no answer>"};
  XmlRpc::XmlRpcValue& subs = payload[1];
  for (int i = 0; i < subs.size(); ++i)
    if (static_cast<std::string>(subs[i][0]) == topic)
      for (int j = 0; j < subs[i][1].size(); ++j) nodes.push_back(static_cast<std::string>(subs[i][1][j]));
  return nodes;
}

}  // namespace subtest

#endif
