// Destroying the parameter nodes while set requests or parameter messages
// still reach them and the network thread iterates: a callback on a freed
// holder or server shows as a crash or a ThreadSanitizer report.
#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <thread>

#include "ParamsTestSupport.h"
#include "nodes/RosMurvParamsSubscriber.h"

using namespace paramtest;

// An outside client that keeps sending set requests until killed, printing
// "answered" or "failed" for each; its arguments: the integer parameter it
// sets, and 1 to set MurvParamsDynReconfEnable too.
const std::string setter = R"(exec /usr/bin/python3 -u -c "
import sys, time, rospy; from dynamic_reconfigure.srv import Reconfigure; from dynamic_reconfigure.msg import *
rospy.init_node('setter', anonymous=True, disable_signals=True)
call = rospy.ServiceProxy('/murv_reconf_teardown/set_parameters', Reconfigure)
for i in range(10**9):
    c = Config(ints=[IntParameter(sys.argv[1], i % 150)])
    c.bools = [BoolParameter('MurvParamsDynReconfEnable', True)] * int(sys.argv[2])
    try: call(c); print('answered')
    except Exception: print('failed'); time.sleep(0.01)
")";

TEST(ReconfTeardown, SetRequestsArrivingWhileTheNodeIsDestroyedNeverReachIt) {
  RosNetwork net("murv_reconf_teardown");
  // Another node's spinner on ROS's global queue, as in a network that also
  // receives: it must never run the reconfiguration node's callback.
  ros::AsyncSpinner others(2);
  others.start();
  // The integer node logs every change it receives.
  ros::console::set_logger_level(ROSCONSOLE_DEFAULT_NAME, ros::console::levels::Warn);
  ros::console::notifyLoggerLevelsChanged();
  for (int round = 0; round < 4; ++round) {
    const bool integer = round % 2 == 0;
    const char* type = integer ? "RosMurvIntDynReconf" : "RosMurvParamsDynReconf";
    NodePtr node = createNode(type, "reconf", paramsOf(type, 0.001f));
    node->initialize();
    std::list<murvtest::BackgroundCommand> clients;
    for (int c = 0; c < 3; ++c) clients.emplace_back(setter + (integer ? " number 0" : " DiradureZIDID_num_source 1"));
    auto saying = [&](const std::string& word) {
      int n = 0;
      for (const auto& c : clients) {
        std::istringstream out(c.output());
        for (std::string line; std::getline(out, line);) n += line == word;
      }
      return n;
    };
    const int output = node->getOutputID(integer ? "OUTPUT1" : "DODA");
    int count = 0;
    EXPECT_TRUE(waitFor([&] {
      node->getOutput(output, count++);
      return saying("answered") >= 20;
    })) << "round " << round << ": " << clients.front().output();
    node.reset();
    // Once the node has gone, only requests already being answered may
    // still count as answered; the others fail.
    const int answeredAtTeardown = saying("answered"), failedAtTeardown = saying("failed");
    EXPECT_TRUE(waitFor([&] { return saying("failed") >= failedAtTeardown + 3; })) << "round " << round;
    EXPECT_LE(saying("answered"), answeredAtTeardown + 3) << "round " << round;
  }
}

TEST(ParamsSubscriberTeardown, MessagesArrivingWhileTheNodeIsDestroyedNeverReachIt) {
  RosNetwork net("murv_params_teardown");
  ros::NodeHandle nh;
  ros::Publisher diradure = nh.advertise<murv_params::DiradureZIDID>("/p/DiradureZIDID", 100);
  ros::Publisher tracker = nh.advertise<murv_params::SourceTracker>("/p/SourceTracker", 100);
  ros::Publisher doda = nh.advertise<murv_params::DODA>("/p/DODA", 100);
  // About a thousand messages of each kind a second, from a thread of its
  // own that runs until the test ends.
  std::atomic<bool> stop{false};
  std::thread publishing([&] {
    for (; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
      diradure.publish(murv_params::DiradureZIDID());
      tracker.publish(murv_params::SourceTracker());
      doda.publish(murv_params::DODA());
    }
  });
  for (int round = 0; round < 3; ++round) {
    NodePtr node = createNode("RosMurvParamsSubscriber", "sub", paramsOf("RosMurvParamsSubscriber", 0.0f));
    node->initialize();
    // Iterate until every kind has reached the network, then let the node
    // go while the messages keep coming.
    std::string seen;
    int count = 0;
    EXPECT_TRUE(waitFor([&] {
      seen += delivered(*node, count++);
      return seen.find("DiradureZIDID") != seen.npos && seen.find("SourceTracker") != seen.npos &&
             seen.find("DODA") != seen.npos;
    })) << "round " << round;
    node.reset();
  }
  stop = true;
  publishing.join();
}
