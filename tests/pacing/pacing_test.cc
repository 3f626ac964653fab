// A stop signal ends a node's pacing sleep, however slow its rate and
// whether or not /clock moves: every node type that paces the network, in a
// network run by the network runner, stops the run at once with the
// signal's status and leaves the master.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <rosgraph_msgs/Clock.h>
#include <std_msgs/Float32.h>

#include <cstdlib>
#include <initializer_list>

#include "StreamTestSupport.h"

using namespace streamtest;
using murvtest::BackgroundCommand;
using murvtest::waitFor;

namespace {

// A cycle of about eleven days: a run that sleeps it through never ends.
const std::string slow = "1e-06";

// The description of a node name of type with its parameters, each given
// as "NAME type value".
std::string node(const std::string& name, const std::string& type, std::initializer_list<std::string> params) {
  std::string lines = "node " + name + " " + type + "\n";
  for (const std::string& p : params) lines += "param " + name + " " + p + "\n";
  return lines;
}

std::string testSignal() {
  return node("signal", "TestSignal",
              {"CHANNELS int 1", "LENGTH int 4", "SAMPLING_RATE int 16000", "AMPLITUDE float 1"});
}

std::string stdSubscriber(const std::string& name, const std::string& type, const std::string& topic,
                          const std::string& rate) {
  return node(
      name, "RosStdMsgsSubscriber",
      {"ROS_MESSAGE_TYPE string " + type, "OUT_ARRAY_FORMAT string Vector<>", "TOPIC_NAME string " + topic,
       "BOOL_DEFAULT bool true", "INT_DEFAULT int 0", "FLOAT_DEFAULT float 0", "ENABLE_DEBUG bool false",
       "ROS_LOOP_RATE float " + rate, "MSG_BUFFER_NUM int 10", "DATA_BUFFER_NUM int 10", "REMAIN_LATEST bool true"});
}

std::string stdPublisher(const std::string& type, const std::string& topics) {
  return testSignal() +
         node("pub", type,
              {"ENABLE_DEBUG bool false", "ROS_MESSAGE_TYPE string Float32MultiArray",
               "TOPIC_NAME string " + topics + "/frame", "BUFFER_NUM int 10", "MAX_FREQUENCY float 0",
               "ROS_LOOP_RATE float " + slow}) +
         "connect pub INPUT signal OUTPUT\n";
}

// A stream node's pacing and ending: no time-out for data, a wait of a
// millisecond for joint states.
std::string streamPacing(const std::string& name) {
  return "param " + name + " ROS_LOOP_RATE float " + slow + "\nparam " + name + " MSG_BUFFER_NUM int 10\nparam " +
         name + " DATA_BUFFER_NUM int 10\nparam " + name + " KILL_TIME_LEN int 1000\nparam " + name +
         " KILL_NETWORK bool false\neof " + name + " NOT_EOF\n";
}

// The networks, after their RosNodeGenerator "ros", by what the test does
// to bring the paced node to its sleep: a node that never waits sleeps at
// count 0 once "ros" has printed its VALUE for that count (ParamsMonitor
// first sleeps at count 1); a stream node sleeps once it has taken the
// message the test publishes. It says so in a debug line, or the receipt of
// a second message shows it: the node's one spinner thread queues a message
// before it takes up the next, so a stop signal cannot find it waiting.
enum class Feed { none, wave, float32 };

std::string murvPublisher(const std::string& topics) {
  return testSignal() +
         node("pub", "RosMurvMsgsPublisher",
              {"ADVANCE int 160", "ENABLE_DEBUG bool false", "BUFFER_NUM int 10", "ROS_LOOP_RATE float " + slow,
               "ROS_FRAME_ID string mic", "TIMESTAMP_TYPE string CONSTANT_INCREMENT", "SAMPLING_RATE int 16000"}) +
         audioTopicParams("pub", topics) + "connect pub MIC_WAVE signal OUTPUT\noutput ros VALUE\npull pub OUTPUT\n";
}

std::string murvSubscriber(const std::string& topics) {
  return node("sub", "RosMurvMsgsSubscriber",
              {"TOPIC_NAME_MURVSORVEX string " + topics + "/sorvex", "STREAM_SELECTION string MurvWave",
               "NB_CHANNELS int 1", "FFT_LENGTH int 2", "ENABLE_DEBUG bool false", "ROS_LOOP_RATE float " + slow,
               "MSG_BUFFER_NUM int 10", "DATA_BUFFER_NUM int 10", "REMAIN_LATEST bool true"}) +
         audioTopicParams("sub", topics) + "output ros VALUE\npull sub TIMESTAMP\n";
}

std::string murvStream(const std::string& topics) {
  return node("stream", "MurvMsgsStreamFromRos", {"STREAM_SELECTION string MurvWave", "ENABLE_DEBUG bool true"}) +
         audioTopicParams("stream", topics) + streamPacing("stream");
}

std::string audioStream(const std::string& topics) {
  return node("stream", "AudioStreamFromRos", {"TOPIC_NAME string " + topics + "/murvwave", "DEBUG_PRINT bool true"}) +
         streamPacing("stream");
}

std::string stdStream(const std::string& topics) {
  return node("stream", "StdMsgsStreamFromRos",
              {"ROS_MESSAGE_TYPE string Float32", "OUT_ARRAY_FORMAT string Vector<>",
               "TOPIC_NAME string " + topics + "/float", "ENABLE_DEBUG bool true"}) +
         streamPacing("stream");
}

// No joint state comes: the message goes out after a wait of KILL_TIME_LEN
// for one, with a warning.
std::string sync(const std::string& topics) {
  return node("sync", "SyncMurvMsgsAndJointState",
              {"TOPIC_NAME string " + topics + "/joints", "STREAM_SELECTION string MurvWave", "ENABLE_DEBUG bool false",
               "ENABLE_SYNC_DEBUG bool false", "ENABLE_STATUS_DEBUG bool false"}) +
         audioTopicParams("sync", topics) + streamPacing("sync");
}

std::string paramsMonitor(const std::string&) {
  return node("params", "RosMurvParamsDynReconf", {"ROS_DURATION float 0", "ENABLE_DEBUG bool false"}) +
         node("monitor", "ParamsMonitor", {"RATE float 0.001", "CHANGES int 0"}) +
         "connect monitor DiradureZIDID params DiradureZIDID\nconnect monitor SourceTracker params SourceTracker\n"
         "connect monitor DODA params DODA\noutput ros VALUE\noutput monitor NOT_EOF\n";
}

std::string stdPublisherNet(const std::string& topics) {
  return stdPublisher("RosStdMsgsPublisher", topics) + "output ros VALUE\npull pub OUTPUT\n";
}

// COND is the subscriber's BOOL_DEFAULT, true.
std::string ifPublisherNet(const std::string& topics) {
  return stdPublisher("IfRosStdMsgsPublisher", topics) + stdSubscriber("cond", "Bool", topics + "/cond", "1000000") +
         "connect pub COND cond OUTPUT\noutput ros VALUE\npull pub OUTPUT\n";
}

std::string stdSubscriberAt(const std::string& topics, const std::string& rate) {
  return stdSubscriber("sub", "Float32", topics + "/float", rate) + "output ros VALUE\npull sub OUTPUT\n";
}
std::string stdSubscriberNet(const std::string& topics) { return stdSubscriberAt(topics, slow); }
std::string fastSubscriberNet(const std::string& topics) { return stdSubscriberAt(topics, "1000"); }

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

TEST(Pacing, AStopSignalEndsThePacingSleep) {
  subtest::RosNetwork net("murv_pacing_test");
  // The receipt lines the test waits for reach the runner's output at once.
  setenv("ROSCONSOLE_STDOUT_LINE_BUFFERED", "1", 1);
  ros::NodeHandle nh;
  const struct {
    const char* tag;
    std::string (*network)(const std::string& topics);
    Feed feed;
    const char* sleeping;  // printed once the paced node is on its way to its sleep
    int sig;
    bool simTime;
  } rows[] = {
      {"mpub", murvPublisher, Feed::none, "[0] ros.VALUE", SIGINT, false},
      {"msub", murvSubscriber, Feed::none, "[0] ros.VALUE", SIGTERM, false},
      {"mstream", murvStream, Feed::wave, "MurvWave received [2]", SIGHUP, false},
      {"astream", audioStream, Feed::wave, "Received [2]", SIGINT, false},
      {"spub", stdPublisherNet, Feed::none, "[0] ros.VALUE", SIGTERM, false},
      {"ifpub", ifPublisherNet, Feed::none, "[0] ros.VALUE", SIGHUP, false},
      {"ssub", stdSubscriberNet, Feed::none, "[0] ros.VALUE", SIGINT, false},
      {"sstream", stdStream, Feed::float32, "\n0 : 1\n", SIGTERM, false},
      {"sync", sync, Feed::wave, "no joint state reached the message", SIGHUP, false},
      {"monitor", paramsMonitor, Feed::none, "[1] ros.VALUE", SIGINT, false},
      // /clock never ticks: the cycle of a fast rate never ends on its own.
      {"simtime", fastSubscriberNet, Feed::none, "[0] ros.VALUE", SIGINT, true},
  };
  for (const auto& r : rows) {
    const std::string rosName = std::string("murv_pacing_") + r.tag, topics = std::string("/pacing_") + r.tag;
    if (r.simTime) ros::param::set("/use_sim_time", true);
    BackgroundCommand runner(runnerFor(rosName, r.network(topics)));
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
  BackgroundCommand runner(runnerFor(rosName, stdSubscriberAt("/pacing_clock", "0.001")));
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
