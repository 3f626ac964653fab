// Destroying the parameter nodes while ROS traffic still reaches them: set
// requests from outside service clients, and parameter messages from a
// publisher on another thread, with the network thread iterating until
// the node goes. Meant for the ThreadSanitizer build; in every build a
// callback on a freed holder or server shows as a crash or a sanitizer
// report.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ParamsTestSupport.h"
#include "RosMurvParamsSubscriber.h"
#include "RosTestSupport.h"

using namespace paramtest;
using murvtest::waitFor;
using subtest::RosNetwork;

namespace {

// Outside clients that keep sending set requests to service until killed,
// printing "answered" or "failed" for each: for the integer config, or
// for the parameter sets.
std::string setRequester(const std::string& service, bool integer) {
  return "exec /usr/bin/python3 -u -c \"\n"
         "import sys, time, rospy\n"
         "from dynamic_reconfigure.srv import Reconfigure\n"
         "from dynamic_reconfigure.msg import Config, IntParameter, BoolParameter\n"
         "rospy.init_node('setter', anonymous=True, disable_signals=True)\n"
         "i = 0\n"
         "while True:\n"
         "    c = Config()\n"
         "    c.ints.append(IntParameter('" + std::string(integer ? "number" : "DiradureZIDID_num_source") +
         "', i % 150))\n" + (integer ? "" : "    c.bools.append(BoolParameter('MurvParamsDynReconfEnable', True))\n") +
         "    try:\n"
         "        rospy.ServiceProxy('" + service + "', Reconfigure)(c)\n"
         "        print('answered')\n"
         "    except Exception:\n"
         "        print('failed')\n"
         "        time.sleep(0.01)\n"
         "    i += 1\n"
         "\"";
}

int linesSaying(const std::vector<std::unique_ptr<murvtest::BackgroundCommand>>& clients, const std::string& word) {
  int n = 0;
  for (const auto& c : clients) {
    const std::string out = c->output();
    for (size_t at = out.find(word + "\n"); at != std::string::npos; at = out.find(word + "\n", at + 1)) ++n;
  }
  return n;
}

}  // namespace

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
    NodePtr node = integer ? createNode("RosMurvIntDynReconf", "int", intReconfParams(0.001f))
                           : createNode("RosMurvParamsDynReconf", "params", paramsReconfParams(0.001f, false));
    node->initialize();
    std::vector<std::unique_ptr<murvtest::BackgroundCommand>> clients;
    for (int c = 0; c < 3; ++c)
      clients.emplace_back(new murvtest::BackgroundCommand(setRequester("/murv_reconf_teardown/set_parameters", integer)));
    const int output = node->getOutputID(integer ? "OUTPUT1" : "DODA");
    int count = 0;
    EXPECT_TRUE(waitFor([&] {
      node->getOutput(output, count++);
      return linesSaying(clients, "answered") >= 20;
    })) << "round " << round << ": " << clients[0]->output();
    node.reset();
    // Once the node has gone, only requests already being answered may
    // still count as answered; the others fail.
    const int answeredAtTeardown = linesSaying(clients, "answered");
    const int failedAtTeardown = linesSaying(clients, "failed");
    EXPECT_TRUE(waitFor([&] { return linesSaying(clients, "failed") >= failedAtTeardown + 3; })) << "round " << round;
    EXPECT_LE(linesSaying(clients, "answered"), answeredAtTeardown + 3) << "round " << round;
  }
}

TEST(ParamsSubscriberTeardown, MessagesArrivingWhileTheNodeIsDestroyedNeverReachIt) {
  RosNetwork net("murv_params_teardown");
  ros::NodeHandle nh;
  ros::Publisher diradure = nh.advertise<murv_params::DiradureZIDID>("/pteardown/diradure", 100);
  ros::Publisher tracker = nh.advertise<murv_params::SourceTracker>("/pteardown/tracker", 100);
  ros::Publisher doda = nh.advertise<murv_params::DODA>("/pteardown/doda", 100);
  // About a thousand messages of each kind a second, from a thread of its
  // own that runs until the test ends.
  struct Publishing {
    std::atomic<bool> stop{false};
    std::thread thread;
    ~Publishing() {
      stop = true;
      thread.join();
    }
  } publishing;
  publishing.thread = std::thread([&] {
    for (int i = 0; !publishing.stop; ++i) {
      murv_params::DiradureZIDID d;
      d.num_source = i;
      diradure.publish(d);
      murv_params::SourceTracker t;
      t.compare_mode = static_cast<uint8_t>(i);
      tracker.publish(t);
      murv_params::DODA o;
      o.lx = static_cast<float>(i);
      doda.publish(o);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int round = 0; round < 3; ++round) {
    NodePtr node = createNode("RosMurvParamsSubscriber", "sub", paramsSubscriberParams("pteardown", 0.0f, false));
    node->initialize();
    // Iterate until every kind has reached the network, then let the node
    // go while the messages keep coming.
    bool kinds[3] = {false, false, false};
    int count = 0;
    EXPECT_TRUE(waitFor([&] {
      const std::string d = delivered(*node, count++);
      kinds[0] |= d.rfind("DiradureZIDID", 0) == 0;
      kinds[1] |= d.find("SourceTracker") != std::string::npos;
      kinds[2] |= d.find("DODA") != std::string::npos;
      return kinds[0] && kinds[1] && kinds[2];
    })) << "round " << round;
    node.reset();
  }
}
