// A stop signal ends a node's pacing sleep, however slow its rate and
// whether or not /clock moves: every node type that paces the network, in a
// network run by the network runner, stops the run at once with the
// signal's status and leaves the master.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <rosgraph_msgs/Clock.h>
#include <std_msgs/Float32.h>

#include <cstdlib>

#include "StreamTestSupport.h"

using namespace streamtest;
using murvtest::BackgroundCommand;
using murvtest::waitFor;

namespace {

// A cycle of about eleven days: a run that sleeps it through never ends.
const std::string slow = "1e-06";
const std::string testSignal =
    nodeLines("signal", "TestSignal", "CHANNELS int 1; LENGTH int 4; SAMPLING_RATE int 16000; AMPLITUDE float 1");
// A stream node's pacing: no time-out for data, a millisecond's wait for
// joint states.
const std::string streamPacing = "; ROS_LOOP_RATE float " + slow +
                                 "; MSG_BUFFER_NUM int 10; DATA_BUFFER_NUM int 10; KILL_TIME_LEN int 1000; "
                                 "KILL_NETWORK bool false";

std::string stdSubscriber(const std::string& name, const std::string& type, const std::string& topic,
                          const std::string& rate) {
  return nodeLines(name, "RosStdMsgsSubscriber",
                   "ROS_MESSAGE_TYPE string " + type + "; OUT_ARRAY_FORMAT string Vector<>; TOPIC_NAME string " + topic +
                       "; BOOL_DEFAULT bool true; INT_DEFAULT int 0; FLOAT_DEFAULT float 0; ENABLE_DEBUG bool false; "
                       "ROS_LOOP_RATE float " + rate + "; MSG_BUFFER_NUM int 10; DATA_BUFFER_NUM int 10; "
                       "REMAIN_LATEST bool true");
}

// Its topics under %T; extra: the condition of an IfRosStdMsgsPublisher.
std::string stdPublisher(const std::string& type, const std::string& extra = "") {
  return testSignal +
         nodeLines("pub", type,
                   "ENABLE_DEBUG bool false; ROS_MESSAGE_TYPE string Float32MultiArray; TOPIC_NAME string %T/frame; "
                   "BUFFER_NUM int 10; MAX_FREQUENCY float 0; ROS_LOOP_RATE float " + slow) +
         extra + "connect pub INPUT signal OUTPUT\noutput ros VALUE\npull pub OUTPUT\n";
}

std::string stdSubscriberAt(const std::string& rate, const std::string& topics = "%T") {
  return stdSubscriber("sub", "Float32", topics + "/float", rate) + "output ros VALUE\npull sub OUTPUT\n";
}

// A stream node of type with its own parameters own, ended by its NOT_EOF.
std::string stream(const std::string& name, const std::string& type, const std::string& own, bool audioTopics = true) {
  return nodeLines(name, type, own + streamPacing) + (audioTopics ? audioTopicParams(name, "%T") : "") + "eof " + name +
         " NOT_EOF\n";
}

std::string runnerFor(const std::string& rosName, const std::string& network) {
  return runnerCommand(rosName, "node ros RosNodeGenerator\nparam ros NODE_NAME string " + rosName + "\n" + network,
                       {MURV_EXAMPLES_PATH});
}

// What a run that a stop signal ended leaves: the signal's status, the
// network destroyed and the ROS node gone from the master.
void expectStoppedBy(BackgroundCommand& runner, int sig, const std::string& rosName) {
  EXPECT_EQ(runner.waitExit(std::chrono::seconds(10)), 128 + sig) << rosName << "\n" << runner.output();
  EXPECT_THAT(runner.output(), testing::EndsWith("ROS destructed...\n")) << rosName;
  EXPECT_TRUE(waitFor([&] { return !murvtest::rosNodeListed(rosName); })) << rosName;
}

}  // namespace

// The networks, after their RosNodeGenerator "ros", by what the test does
// to bring the paced node to its sleep: a node that never waits sleeps at
// count 0 once "ros" has printed its VALUE for that count (ParamsMonitor
// first sleeps at count 1); a stream node sleeps once it has taken the
// message the test publishes. It says so in a debug line, or the receipt of
// a second message shows it: the node's one spinner thread queues a message
// before it takes up the next, so a stop signal cannot find it waiting.
TEST(Pacing, AStopSignalEndsThePacingSleep) {
  subtest::RosNetwork net("murv_pacing_test");
  // The receipt lines the test waits for reach the runner's output at once.
  setenv("ROSCONSOLE_STDOUT_LINE_BUFFERED", "1", 1);
  ros::NodeHandle nh;
  enum class Feed { none, wave, float32 };
  const struct {
    const char* tag;
    std::string network;  // its topics under %T
    Feed feed;
    const char* sleeping;  // printed once the paced node is on its way to its sleep
    int sig;
    bool simTime;
  } rows[] = {
      {"mpub",
       testSignal +
           nodeLines("pub", "RosMurvMsgsPublisher",
                     "ADVANCE int 160; ENABLE_DEBUG bool false; BUFFER_NUM int 10; ROS_LOOP_RATE float " + slow +
                         "; ROS_FRAME_ID string mic; TIMESTAMP_TYPE string CONSTANT_INCREMENT; SAMPLING_RATE int 16000") +
           audioTopicParams("pub", "%T") + "connect pub MIC_WAVE signal OUTPUT\noutput ros VALUE\npull pub OUTPUT\n",
       Feed::none, "[0] ros.VALUE", SIGINT, false},
      {"msub",
       nodeLines("sub", "RosMurvMsgsSubscriber",
                 "TOPIC_NAME_MURVSORVEX string %T/sorvex; STREAM_SELECTION string MurvWave; NB_CHANNELS int 1; "
                 "FFT_LENGTH int 2; ENABLE_DEBUG bool false; ROS_LOOP_RATE float " + slow +
                     "; MSG_BUFFER_NUM int 10; DATA_BUFFER_NUM int 10; REMAIN_LATEST bool true") +
           audioTopicParams("sub", "%T") + "output ros VALUE\npull sub TIMESTAMP\n",
       Feed::none, "[0] ros.VALUE", SIGTERM, false},
      {"mstream", stream("stream", "MurvMsgsStreamFromRos", "STREAM_SELECTION string MurvWave; ENABLE_DEBUG bool true"),
       Feed::wave, "MurvWave received [2]", SIGHUP, false},
      {"astream", stream("stream", "AudioStreamFromRos", "TOPIC_NAME string %T/murvwave; DEBUG_PRINT bool true", false),
       Feed::wave, "Received [2]", SIGINT, false},
      {"spub", stdPublisher("RosStdMsgsPublisher"), Feed::none, "[0] ros.VALUE", SIGTERM, false},
      // COND is the subscriber's BOOL_DEFAULT, true.
      {"ifpub",
       stdPublisher("IfRosStdMsgsPublisher",
                    stdSubscriber("cond", "Bool", "%T/cond", "1000000") + "connect pub COND cond OUTPUT\n"),
       Feed::none, "[0] ros.VALUE", SIGHUP, false},
      {"ssub", stdSubscriberAt(slow), Feed::none, "[0] ros.VALUE", SIGINT, false},
      {"sstream",
       stream("stream", "StdMsgsStreamFromRos",
              "ROS_MESSAGE_TYPE string Float32; OUT_ARRAY_FORMAT string Vector<>; TOPIC_NAME string %T/float; "
              "ENABLE_DEBUG bool true",
              false),
       Feed::float32, "\n0 : 1\n", SIGTERM, false},
      // No joint state comes: the message goes out after a wait of
      // KILL_TIME_LEN for one, with a warning.
      {"sync",
       stream("sync", "SyncMurvMsgsAndJointState",
              "TOPIC_NAME string %T/joints; STREAM_SELECTION string MurvWave; ENABLE_DEBUG bool false; "
              "ENABLE_SYNC_DEBUG bool false; ENABLE_STATUS_DEBUG bool false"),
       Feed::wave, "no joint state reached the message", SIGHUP, false},
      {"monitor",
       nodeLines("params", "RosMurvParamsDynReconf", "ROS_DURATION float 0; ENABLE_DEBUG bool false") +
           nodeLines("monitor", "ParamsMonitor", "RATE float 0.001; CHANGES int 0") +
           "connect monitor DiradureZIDID params DiradureZIDID\nconnect monitor SourceTracker params SourceTracker\n"
           "connect monitor DODA params DODA\noutput ros VALUE\noutput monitor NOT_EOF\n",
       Feed::none, "[1] ros.VALUE", SIGINT, false},
      // /clock never ticks: the cycle of a fast rate never ends on its own.
      {"simtime", stdSubscriberAt("1000"), Feed::none, "[0] ros.VALUE", SIGINT, true},
  };
  for (const auto& r : rows) {
    const std::string rosName = std::string("murv_pacing_") + r.tag, topics = std::string("/pacing_") + r.tag;
    if (r.simTime) ros::param::set("/use_sim_time", true);
    std::string network = r.network;
    for (size_t at; (at = network.find("%T")) != std::string::npos;) network.replace(at, 2, topics);
    BackgroundCommand runner(runnerFor(rosName, network));
    ros::Publisher wave = nh.advertise<murv_msgs::MurvWave>(topics + "/murvwave", 2);
    ros::Publisher number = nh.advertise<std_msgs::Float32>(topics + "/float", 1);
    if (r.feed != Feed::none) {
      const ros::Publisher& pub = r.feed == Feed::wave ? wave : number;
      ASSERT_TRUE(waitFor([&] { return pub.getNumSubscribers() > 0 || !runner.running(); })) << r.tag;
      if (r.feed == Feed::float32) number.publish(std_msgs::Float32());
      for (int count = 1; r.feed == Feed::wave && count <= 2; ++count) wave.publish(subtest::wave(count, 1, 2));
    }
    waitFor([&] { return runner.output().find(r.sleeping) != std::string::npos || !runner.running(); });
    ASSERT_NE(runner.output().find(r.sleeping), std::string::npos) << r.tag << "\n" << runner.output();
    ros::param::del("/use_sim_time");
    runner.signal(r.sig);
    expectStoppedBy(runner, r.sig, rosName);
    // The paced node was on its way to its sleep, past any wait for data.
    EXPECT_EQ(runner.output().find("Force-quit"), std::string::npos) << r.tag << "\n" << runner.output();
  }
}

// With /use_sim_time set the pace follows /clock: a cycle of 1000 s ends
// once /clock has moved on 1000 s, which here takes a tenth of a second.
TEST(Pacing, OnSimulatedTimeThePaceFollowsClock) {
  subtest::RosNetwork net("murv_pacing_clock_test");
  ros::NodeHandle nh;
  ros::Publisher clock = nh.advertise<rosgraph_msgs::Clock>("/clock", 1);
  ros::param::set("/use_sim_time", true);
  const std::string rosName = "murv_pacing_clock";
  BackgroundCommand runner(runnerFor(rosName, stdSubscriberAt("0.001", "/pacing_clock")));
  rosgraph_msgs::Clock now;
  // Each look moves /clock on 100 s.
  ASSERT_TRUE(waitFor([&] {
    now.clock += ros::Duration(100);
    clock.publish(now);
    return runner.output().find("[5] ros.VALUE") != std::string::npos || !runner.running();
  })) << runner.output();
  ros::param::del("/use_sim_time");
  // Five cycles have passed on /clock, and not one more.
  EXPECT_GE(now.clock.sec, 5000u);
  EXPECT_EQ(runner.output().find("[6] ros.VALUE"), std::string::npos) << runner.output();
  runner.signal(SIGINT);
  expectStoppedBy(runner, SIGINT, rosName);
}
