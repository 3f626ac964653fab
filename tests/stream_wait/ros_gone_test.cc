// ROS going away under waiting stream nodes: `rosnode kill`, run as an
// outside client against a private master, ends a first-message wait and a
// data wait whose time-out is far off within a second of its answer.
#include <gtest/gtest.h>
#include <ros/ros.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "RosMaster.h"
#include "stop/StreamWait.h"

using namespace murvstream;
using Clock = std::chrono::steady_clock;

namespace {
StopFlag stop;
}

TEST(StreamWaitRosGone, RosnodeKillEndsEveryWaitWithinASecond) {
  murvtest::RosMaster master;
  master.start();
  std::vector<std::pair<std::string, std::string>> remappings;
  ros::init(remappings, "murv_wait_kill_me", ros::init_options::NoSigintHandler);
  ros::NodeHandle nh;
  installStopSignals();
  StreamWaiter first("first", stop, "MurvMsgsStreamFromRos"), data("data", stop, "AudioStreamFromRos");
  const struct {
    const char* what;
    std::function<void()> wait;
  } rows[] = {{"first-message wait", [&] { first.waitFirstMessage([] { return false; }, 737); }},
              {"data wait", [&] { data.waitForData([] { return false; }, 9000000, true, 285); }}};
  struct Ended {
    std::atomic<bool> done{false};
    Clock::time_point at;
    std::string text;
  } ended[2];
  std::vector<std::thread> waiting;
  for (int i = 0; i < 2; ++i)
    waiting.emplace_back([&, i] {
      try {
        rows[i].wait();
      } catch (MURV::BaseException* e) {
        ended[i].text = e->text();
        delete e;
      }
      ended[i].at = Clock::now();
      ended[i].done = true;
    });
  const murvtest::CommandResult kill =
      murvtest::runCommand("exec /usr/bin/python3 /usr/bin/rosnode kill /murv_wait_kill_me");
  const Clock::time_point answered = Clock::now();
  EXPECT_EQ(kill.status, 0) << kill.output;
  // Waits that ROS's going away did not end are ended by a stop signal.
  if (!murvtest::waitFor([&] { return ended[0].done && ended[1].done; })) {
    ADD_FAILURE() << "the waits went on after rosnode kill";
    raise(SIGINT);
  }
  for (std::thread& t : waiting) t.join();
  for (int i = 0; i < 2; ++i) {
    EXPECT_NE(ended[i].text.find("stopped waiting: ROS has been shut down"), std::string::npos)
        << rows[i].what << ": " << ended[i].text;
    EXPECT_LT(std::chrono::duration<double>(ended[i].at - answered).count(), 1.0) << rows[i].what;
  }
  master.stop();
}
