// A stop signal ends a node's pacing sleep, however slow its rate and
// whether or not /clock moves: every node type that paces the network, in a
// network of the node reference run by the network runner, stops the run at
// once with the signal's status and leaves the master. So does a stop that
// comes in a ROS callback's pause or in a service call.
#include <dynamic_reconfigure/Reconfigure.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <murv_msgs/MurvInt.h>
#include <murv_msgs/MurvIntSrv.h>
#include <murv_params/DODA.h>
#include <rosgraph_msgs/Clock.h>
#include <std_msgs/Float32.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "ExampleNetworks.h"
#include "StreamTestSupport.h"

using namespace streamtest;
using murvtest::BackgroundCommand;
using murvtest::LineChange;
using murvtest::paramChange;
using murvtest::waitFor;
using testing::ElementsAre;
using testing::Field;

namespace {

// A cycle of about eleven days: a run that sleeps it through never ends.
const std::string slow = "1e-06";

// A stream node's slow pacing, with no time-out for data and a wait of a
// millisecond for joint states, besides other changes.
std::vector<LineChange> streamPaced(const std::string& node, std::vector<LineChange> others = {}) {
  for (const char* p : {"KILL_NETWORK bool false", "KILL_TIME_LEN int 1000"}) others.push_back(paramChange(node, p));
  others.push_back(paramChange(node, "ROS_LOOP_RATE float " + slow));
  return others;
}

// The example network with changes, printing ros's VALUE first, as
// rosName with its topics under topics.
std::string pacedExample(const std::string& example, std::vector<LineChange> changes, const std::string& rosName,
                         const std::string& topics) {
  changes.push_back({"param ros NODE_NAME", "param ros NODE_NAME string " + rosName + "\noutput ros VALUE"});
  size_t replaced = 0;
  std::string net = murvtest::exampleNetwork(example, changes, replaced);
  EXPECT_EQ(replaced, changes.size()) << example;
  for (size_t at; (at = net.find("/murv/")) != std::string::npos;) net.replace(at, 6, topics + "/");
  return runnerCommand(rosName, net, {MURV_EXAMPLES_PATH});
}

// What a run that a stop signal ended leaves: the signal's status, the
// network destroyed within the runner's limit on a stop and nothing of the
// ROS node left on the master.
void expectStoppedBy(BackgroundCommand& runner, int sig, const murvtest::RosMaster& master,
                     const std::string& rosName) {
  EXPECT_EQ(runner.waitExit(std::chrono::seconds(10)), 128 + sig) << rosName << "\n" << runner.output();
  EXPECT_THAT(runner.output(), testing::Not(testing::HasSubstr("did not end within"))) << rosName;
  EXPECT_THAT(runner.output(), testing::EndsWith("ROS destructed...\n")) << rosName;
  EXPECT_EQ(master.registrationsOf(rosName), "") << rosName;
}

// Joins a thread when it goes out of scope.
struct Joined {
  std::thread thread;
  ~Joined() {
    if (thread.joinable()) thread.join();
  }
};

}  // namespace

// What the test does to bring the paced node to its sleep: a node that
// never waits sleeps at count 0 once "ros" has printed its VALUE for that
// count (ParamsMonitor first sleeps at count 1); a stream node sleeps once it
// has taken the message the test publishes. It says so in a debug line, or
// the receipt of a second message shows it: the node's one spinner thread
// queues a message before it takes up the next, so a stop signal cannot find
// it waiting.
TEST(Pacing, AStopSignalEndsThePacingSleep) {
  subtest::RosNetwork net("murv_pacing_test");
  // The receipt lines the test waits for reach the runner's output at once.
  setenv("ROSCONSOLE_STDOUT_LINE_BUFFERED", "1", 1);
  ros::NodeHandle nh;
  enum class Feed { none, wave, float32 };
  const LineChange onWaves = paramChange("stream", "STREAM_SELECTION string MurvWave");
  const struct {
    const char* tag;
    const char* example;
    std::vector<LineChange> changes;
    Feed feed;
    const char* sleeping;  // printed once the paced node is on its way to its sleep
    int sig;
    bool simTime;
  } rows[] = {
      {"mpub", "RosMurvMsgsPublisher", {paramChange("pub", "ROS_LOOP_RATE float " + slow)}, Feed::none,
       "[0] ros.VALUE", SIGINT, false},
      {"msub", "RosMurvMsgsSubscriber",
       {paramChange("sub", "ROS_LOOP_RATE float " + slow), {"output sub TIMESTAMP", "pull sub TIMESTAMP"},
        {"output sub MATOUT", ""}},
       Feed::none, "[0] ros.VALUE", SIGTERM, false},
      // MurvWave leaves the sources the example prints empty.
      {"mstream", "MurvMsgsStreamFromRos",
       streamPaced("stream", {onWaves, {"output stream SRCOUT", ""}, {"output stream MAPOUT", ""}}),
       Feed::wave, "MurvWave received [2]", SIGHUP, false},
      {"astream", "AudioStreamFromRos", streamPaced("audio"), Feed::wave, "Received [2]", SIGINT, false},
      {"spub", "RosStdMsgsPublisher", {paramChange("pub", "ROS_LOOP_RATE float " + slow)}, Feed::none,
       "[0] ros.VALUE", SIGTERM, false},
      {"ifpub", "IfRosStdMsgsPublisher",
       {paramChange("pub", "ROS_LOOP_RATE float " + slow), paramChange("enable", "BOOL_DEFAULT bool true"),
        paramChange("enable", "ROS_LOOP_RATE float 1000000")},
       Feed::none, "[0] ros.VALUE", SIGHUP, false},
      // Two slow nodes pulled one after the other: the stop in the first
      // one's sleep ends the second one's, which begins after it.
      {"ifpub2", "IfRosStdMsgsPublisher",
       {paramChange("pub", "ROS_LOOP_RATE float " + slow), paramChange("enable", "BOOL_DEFAULT bool true"),
        paramChange("enable", "ROS_LOOP_RATE float " + slow), {"pull pub", "output enable OUTPUT\npull pub OUTPUT"}},
       Feed::none, "[0] ros.VALUE", SIGINT, false},
      {"ssub", "RosStdMsgsSubscriber", {paramChange("sub", "ROS_LOOP_RATE float " + slow)}, Feed::none,
       "[0] ros.VALUE", SIGINT, false},
      {"sstream", "StdMsgsStreamFromRos", streamPaced("stream", {paramChange("stream", "ENABLE_DEBUG bool true")}),
       Feed::float32, "\n0 : 1\n", SIGTERM, false},
      // No joint state comes: the message goes out after a wait of
      // KILL_TIME_LEN for one, with a warning.
      {"sync", "SyncMurvMsgsAndJointState",
       streamPaced("sync", {paramChange("sync", "STREAM_SELECTION string MurvWave"), {"output sync SRCOUT", ""},
                            {"output sync POSITION", ""}, {"output sync TIMESTAMP2", ""}}),
       Feed::wave, "no joint state reached the message", SIGHUP, false},
      {"monitor", "RosMurvParamsDynReconf",
       {paramChange("monitor", "RATE float 0.001"), paramChange("monitor", "CHANGES int 0"),
        {"eof monitor NOT_EOF", "output monitor NOT_EOF"}},
       Feed::none, "[1] ros.VALUE", SIGINT, false},
      // /clock never ticks: the cycle of a fast rate never ends on its own.
      {"simtime", "RosStdMsgsSubscriber", {paramChange("sub", "ROS_LOOP_RATE float 1000")}, Feed::none,
       "[0] ros.VALUE", SIGINT, true},
  };
  for (const auto& r : rows) {
    const std::string rosName = std::string("murv_pacing_") + r.tag, topics = std::string("/pacing_") + r.tag;
    if (r.simTime) ros::param::set("/use_sim_time", true);
    BackgroundCommand runner(pacedExample(r.example, r.changes, rosName, topics));
    ros::Publisher wave = nh.advertise<murv_msgs::MurvWave>(topics + "/wave", 2);
    ros::Publisher number = nh.advertise<std_msgs::Float32>(topics + "/level", 1);
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
    expectStoppedBy(runner, r.sig, net.master, rosName);
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
  BackgroundCommand runner(pacedExample("RosStdMsgsSubscriber", {paramChange("sub", "ROS_LOOP_RATE float 0.001")},
                                        rosName, "/pacing_clock"));
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
  expectStoppedBy(runner, SIGINT, net.master, rosName);
}

// Under /use_sim_time a stream source whose messages and /clock stop
// together (a bag played with --clock to its end) ends its network by
// itself with KILL_NETWORK true, as on the wall clock: its pacing sleep
// gives up once /clock has stood still for KILL_TIME_LEN, and the silence
// ends the stream. With KILL_NETWORK false the sleep waits for /clock until
// a stop signal. /clock stands at 1000 s throughout. The networks run side
// by side, and those that go on were in their sleep before the others got
// their first message: they have outlasted the others' whole ending.
TEST(Pacing, OnSimulatedTimeAStreamWhoseClockStopsEndsByItselfWithKillNetwork) {
  subtest::RosNetwork net("murv_pacing_still_test");
  ros::NodeHandle nh;
  ros::Publisher clock = nh.advertise<rosgraph_msgs::Clock>("/clock", 1, true);
  rosgraph_msgs::Clock still;
  still.clock = ros::Time(1000);
  clock.publish(still);
  // A fast rate, so that only /clock can hold the sleep, and a debug line
  // just before it.
  auto stillClock = [](const std::string& node, bool killNetwork, std::vector<LineChange> others) {
    for (const char* p : {"ROS_LOOP_RATE float 1000", "KILL_TIME_LEN int 200000", "ENABLE_DEBUG bool true"})
      others.push_back(paramChange(node, p));
    others.push_back(paramChange(node, std::string("KILL_NETWORK bool ") + (killNetwork ? "true" : "false")));
    return others;
  };
  const std::vector<LineChange> waves = {paramChange("stream", "STREAM_SELECTION string MurvWave"),
                                         {"output stream SRCOUT", ""},
                                         {"output stream MAPOUT", ""}};
  const std::vector<LineChange> syncWaves = {paramChange("sync", "STREAM_SELECTION string MurvWave"),
                                             {"output sync SRCOUT", "output sync TIMESTAMP1"},
                                             {"output sync POSITION", ""},
                                             {"output sync TIMESTAMP2", ""}};
  const std::string second = " = <TimeStamp <sec 12> <usec 345678> >\n";
  const struct {
    const char* tag;
    const char* example;
    std::vector<LineChange> changes;
    bool waves;
    const char* sleeping;  // its debug line of the second message
    std::string last;      // printed for the second message
    int sig;               // 0: the network ends by itself
  } rows[] = {
      {"mstream_off", "MurvMsgsStreamFromRos", stillClock("stream", false, waves), true, "\n1 : 1 : 2 : 1\n", "",
       SIGHUP},
      {"sstream_off", "StdMsgsStreamFromRos", stillClock("stream", false, {}), false, "\n1 : 1\n", "", SIGINT},
      {"mstream", "MurvMsgsStreamFromRos", stillClock("stream", true, waves), true, "", "[1] stream.TIMESTAMP" + second,
       0},
      {"sstream", "StdMsgsStreamFromRos", stillClock("stream", true, {}), false, "", "[1] stream.OUTPUT = <Float 2.5 >",
       0},
      {"astream", "AudioStreamFromRos",
       {paramChange("audio", "ROS_LOOP_RATE float 1000"), paramChange("audio", "KILL_TIME_LEN int 200000")}, true,
       "", "[1] audio.TIMESTAMP" + second, 0},
      // No joint state comes: each message goes out after a wait of
      // KILL_TIME_LEN for one.
      {"sync", "SyncMurvMsgsAndJointState", stillClock("sync", true, syncWaves), true, "",
       "[1] sync.TIMESTAMP1" + second, 0},
  };
  struct Run {
    std::unique_ptr<BackgroundCommand> runner;
    ros::Publisher pub;
  };
  std::vector<Run> runs;
  ros::param::set("/use_sim_time", true);
  for (const auto& r : rows) {
    const std::string rosName = std::string("murv_still_") + r.tag, topics = std::string("/still_") + r.tag;
    Run run{std::make_unique<BackgroundCommand>(pacedExample(r.example, r.changes, rosName, topics)),
            r.waves ? nh.advertise<murv_msgs::MurvWave>(topics + "/wave", 2)
                    : nh.advertise<std_msgs::Float32>(topics + "/level", 2)};
    ASSERT_TRUE(waitFor([&] { return run.pub.getNumSubscribers() > 0 || !run.runner->running(); })) << r.tag;
    runs.push_back(std::move(run));
  }
  ros::param::del("/use_sim_time");
  // Each network takes two messages. The first iteration does not sleep
  // when /clock came during it (the clock went ahead), but the second one
  // does, until /clock moves or has stood still for KILL_TIME_LEN. The
  // networks that go on are fed first.
  for (bool goingOn : {true, false}) {
    for (size_t i = 0; i < runs.size(); ++i) {
      if ((rows[i].sig != 0) != goingOn) continue;
      for (int count = 1; count <= 2; ++count) {
        std_msgs::Float32 level;
        level.data = count + 0.5f;
        rows[i].waves ? runs[i].pub.publish(subtest::wave(count, 1, 2)) : runs[i].pub.publish(level);
      }
      if (goingOn) {
        BackgroundCommand& runner = *runs[i].runner;
        waitFor([&] { return runner.output().find(rows[i].sleeping) != std::string::npos || !runner.running(); });
        ASSERT_NE(runner.output().find(rows[i].sleeping), std::string::npos) << rows[i].tag << "\n" << runner.output();
      }
    }
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    if (rows[i].sig != 0) continue;
    BackgroundCommand& runner = *runs[i].runner;
    const std::string rosName = std::string("murv_still_") + rows[i].tag;
    // NOT_EOF turned false: a normal end.
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), 0) << rows[i].tag << "\n" << runner.output();
    EXPECT_THAT(runner.output(), testing::HasSubstr(rows[i].last)) << rows[i].tag;
    EXPECT_THAT(runner.output(), testing::EndsWith("ROS destructed...\n")) << rows[i].tag;
    EXPECT_EQ(net.master.registrationsOf(rosName), "") << rows[i].tag;
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    if (rows[i].sig == 0) continue;
    BackgroundCommand& runner = *runs[i].runner;
    EXPECT_TRUE(runner.running()) << rows[i].tag << "\n" << runner.output();
    runner.signal(rows[i].sig);
    expectStoppedBy(runner, rows[i].sig, net.master, std::string("murv_still_") + rows[i].tag);
    // Still in its pacing sleep, past any wait for data.
    EXPECT_EQ(runner.output().find("Force-quit"), std::string::npos) << rows[i].tag << "\n" << runner.output();
  }
}

// A stop signal ends a ROS callback's ROS_DURATION pause at once, however
// long (up to 2^31 s) and whether or not /clock moves, and a service call in
// progress as a failed call whatever its server does. The reconfiguration
// nodes pause in their set-up already, where the starting config goes
// through the callback. A service call or a set request in its pause is
// answered.
TEST(Pacing, AStopSignalEndsACallbacksPauseAndAServiceCall) {
  subtest::RosNetwork net("murv_pause_test");
  setenv("ROSCONSOLE_STDOUT_LINE_BUFFERED", "1", 1);
  ros::NodeHandle nh;
  // /clock stands at 1000 s, as a paused bag leaves it.
  ros::Publisher clock = nh.advertise<rosgraph_msgs::Clock>("/clock", 1, true);
  rosgraph_msgs::Clock now;
  now.clock = ros::Time(1000);
  clock.publish(now);
  // The client's server takes its call and does not answer it.
  std::atomic<bool> called{false}, release{false};
  ros::ServiceServer silent = nh.advertiseService<murv_msgs::MurvIntSrv::Request, murv_msgs::MurvIntSrv::Response>(
      "/pause_cli/add_ints", [&](murv_msgs::MurvIntSrv::Request&, murv_msgs::MurvIntSrv::Response&) {
        called = true;
        return waitFor([&] { return release.load(); });
      });
  ros::AsyncSpinner spinner(1);
  spinner.start();
  const std::string longest = "ROS_DURATION float 2e9", half = "ROS_DURATION float 0.5";
  // The parameter nodes log each callback, and the monitor never ends the run.
  auto params = [](const std::string& duration) {
    return std::vector<LineChange>{paramChange("params", duration), paramChange("params", "ENABLE_DEBUG bool true"),
                                   paramChange("monitor", "CHANGES int 0")};
  };
  enum class Feed { none, integer, doda, call, setRequest, silentServer };
  const char *const received = "RosMurvIntSubscriber Subscriber Received [7]", *const sum42 = "Request [20 + 22 = 42]";
  const struct {
    const char* tag;
    const char* example;
    std::vector<LineChange> changes;
    Feed feed;
    const char* pausing;  // printed once the callback is on its way to its pause
    bool simTime;
    int sig = SIGINT;
  } rows[] = {
      {"isub", "RosMurvIntSubscriber", {paramChange("sub", longest)}, Feed::integer, received, false},
      {"isub_sim", "RosMurvIntSubscriber", {paramChange("sub", half)}, Feed::integer, received, true},
      {"psub", "RosMurvParamsSubscriber", params(longest), Feed::doda, "Received [thread=", false},
      {"psub_sim", "RosMurvParamsSubscriber", params(half), Feed::doda, "Received [thread=", true},
      {"ireconf", "RosMurvIntDynReconf", {paramChange("dyn", longest)}, Feed::none, "Received [1] [thread=", false},
      // /clock moves on past the pause of the set-up, then stands again.
      {"ireconf_sim", "RosMurvIntDynReconf", {paramChange("dyn", "ROS_DURATION float 5")}, Feed::setRequest,
       "Received [42] [thread=", true},
      {"preconf", "RosMurvParamsDynReconf", params(longest), Feed::none, "Received [thread=", false, SIGTERM},
      {"preconf_sim", "RosMurvParamsDynReconf", params(half), Feed::none, "Received [thread=", true, SIGHUP},
      {"srv", "RosAddMurvIntServer", {paramChange("srv", longest)}, Feed::call, sum42, false},
      {"srv_sim", "RosAddMurvIntServer", {paramChange("srv", half)}, Feed::call, sum42, true},
      // The client calls the silent server instead of the network's own.
      {"cli", "RosAddMurvIntClient", {{"node srv", ""}, {"param srv TOPIC_NAME", ""}, {"param srv ROS_DURATION", ""}},
       Feed::silentServer, "", false},
  };
  for (const auto& r : rows) {
    const std::string rosName = std::string("murv_pause_") + r.tag, topics = std::string("/pause_") + r.tag;
    // Made before the runner, so that the runner is gone before it is joined.
    Joined caller;
    bool answered = false;
    murv_msgs::MurvIntSrv sum;
    dynamic_reconfigure::Reconfigure set;
    if (r.simTime) ros::param::set("/use_sim_time", true);
    BackgroundCommand runner(pacedExample(r.example, r.changes, rosName, topics));
    // Waits for cond, or for the run to end.
    auto until = [&](const std::function<bool()>& cond) {
      return waitFor([&] { return cond() || !runner.running(); });
    };
    auto shows = [&](const std::string& text) {
      until([&] { return runner.output().find(text) != std::string::npos; });
      return runner.output().find(text) != std::string::npos;
    };
    ros::Publisher integer = nh.advertise<murv_msgs::MurvInt>(topics + "/int", 1);
    ros::Publisher doda = nh.advertise<murv_params::DODA>(topics + "/params/doda", 1);
    if (r.feed == Feed::integer || r.feed == Feed::doda) {
      const ros::Publisher& pub = r.feed == Feed::integer ? integer : doda;
      ASSERT_TRUE(until([&] { return pub.getNumSubscribers() > 0; })) << r.tag;
      murv_msgs::MurvInt seven;
      seven.data = 7;
      r.feed == Feed::integer ? integer.publish(seven) : doda.publish(murv_params::DODA());
    }
    if (r.feed == Feed::call) {
      ASSERT_TRUE(until([&] { return ros::service::exists(topics + "/add_ints", false); }));
      sum.request.first = 20;
      sum.request.second = 22;
      caller.thread = std::thread([&] { answered = ros::service::call(topics + "/add_ints", sum); });
    }
    if (r.feed == Feed::setRequest) {
      ASSERT_TRUE(shows("Received [1] [thread=")) << r.tag << "\n" << runner.output();
      ASSERT_TRUE(until([&] {
        now.clock += ros::Duration(10);
        clock.publish(now);
        return runner.output().find("[0] ros.VALUE") != std::string::npos;
      })) << runner.output();
      dynamic_reconfigure::IntParameter number;
      number.name = "number";
      number.value = 42;
      set.request.config.ints.push_back(number);
      caller.thread = std::thread([&] { answered = ros::service::call("/" + rosName + "/set_parameters", set); });
    }
    if (r.feed == Feed::silentServer) {
      ASSERT_TRUE(until([&] { return called.load(); }) && called) << runner.output();
    }
    ASSERT_TRUE(shows(r.pausing)) << r.tag << "\n" << runner.output();
    ros::param::del("/use_sim_time");
    runner.signal(r.sig);
    expectStoppedBy(runner, r.sig, net.master, rosName);
    if (caller.thread.joinable()) {
      caller.thread.join();
      EXPECT_TRUE(answered) << r.tag;
    }
    if (r.feed == Feed::call) {
      EXPECT_EQ(sum.response.sum, 42);
    } else if (r.feed == Feed::setRequest) {
      EXPECT_THAT(set.response.config.ints, ElementsAre(Field(&dynamic_reconfigure::IntParameter::value, 42)));
    } else if (r.feed == Feed::silentServer) {
      // A failed call keeps the last result, 0, and says nothing more.
      EXPECT_THAT(runner.output(), testing::HasSubstr("cli Published : [0]\n"));
    }
  }
  release = true;
}

// A host that handles a stop signal itself and goes on gets its pace back:
// after one SIGINT in a node's pacing sleep, the same node's next 10
// iterations at ROS_LOOP_RATE 10 take about a second, and so do those of a
// node made after it. So do four networks of one iteration each after the
// stopped one, when the host makes the nodes on its main thread and runs
// every network on one worker thread. The host's handler is called once.
TEST(Pacing, AHostThatHandlesAStopKeepsItsPace) {
  murvtest::RosMaster master;
  master.start();
  const struct {
    const char *type, *mode;
    double same, made;  // seconds at least; same < 0: not timed
  } rows[] = {{"RosMurvMsgsSubscriber", "", 0.8, 0.8},
              {"RosStdMsgsSubscriber", "", 0.8, 0.8},
              {"RosStdMsgsSubscriber", "worker", -1, 0.38}};
  for (const auto& r : rows) {
    const murvtest::CommandResult run =
        murvtest::runCommand(std::string("exec ") + MURV_PACING_HOST_PATH + " " + r.type + " " + r.mode);
    auto number = [&](const std::string& label) {
      const size_t at = run.output.find(label);
      return at == std::string::npos ? -1.0 : std::atof(run.output.c_str() + at + label.size());
    };
    const std::string what = std::string(r.type) + " " + r.mode + "\n" + run.output;
    EXPECT_EQ(run.status, 0) << what;
    if (r.same >= 0) {
      EXPECT_GE(number("same node "), r.same) << what;
    }
    EXPECT_GE(number("new node "), r.made) << what;
    EXPECT_EQ(number("host handler "), 1) << what;
  }
}
