// SyncMurvMsgsAndJointState on real traffic through a private master: a
// publishing network of MurvWave frames, joint states from a roscpp
// publisher at another rate and from rostopic as an outside client; the
// streams end after KILL_TIME_LEN, and SIGINT stops a node waiting for joint
// states.
#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <thread>

#include "MsgFifo.h"
#include "PublisherTestSupport.h"
#include "SyncTestSupport.h"

using namespace synctest;
using murvtest::BackgroundCommand;
using murvtest::waitFor;
using Clock = std::chrono::steady_clock;

namespace {

const int frames = 50;
const std::int64_t framePeriod = 20000, jointPeriod = 7000;  // microseconds
const int killTimeLen = 300000;

std::vector<std::vector<float>> frameRows(int c) {
  return {{float(c), float(c) + 0.5f}, {float(-c), 7.0f}};
}

Stamp stampOf(const ros::Time& t) { return {long(t.sec), long(t.nsec / 1000)}; }

// The last of states strictly older than t, or the default joint state.
sensor_msgs::JointState inForce(const std::vector<sensor_msgs::JointState>& states, const ros::Time& t) {
  sensor_msgs::JointState found;
  for (const sensor_msgs::JointState& s : states)
    if (s.header.stamp < t) found = s;
  return found;
}

std::vector<float> floatsOf(const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); }

// Reads every frame from s, checking it beside the state in force among
// states(), then the iteration that ends the stream.
template <class States>
void readStream(Sync& s, const char* what, std::int64_t t0, States states) {
  for (int c = 0; c < frames; ++c) {
    ASSERT_TRUE(s.next(c)) << what << " ended early at " << c;
    const ros::Time frameTime = at(t0 + c * framePeriod);
    ASSERT_EQ(s.stamp1(c), stampOf(frameTime)) << what << " " << c;
    ASSERT_EQ(rowsOf(s.get(s.matout, c)), frameRows(c)) << what << " " << c;
    const sensor_msgs::JointState expected = inForce(states(), frameTime);
    EXPECT_EQ(s.stamp2(c), stampOf(expected.header.stamp)) << what << " " << c;
    EXPECT_EQ(s.floats(s.position, c), floatsOf(expected.position)) << what << " " << c;
    EXPECT_EQ(s.floats(s.velocity, c), floatsOf(expected.velocity)) << what << " " << c;
  }
  const auto last = Clock::now();
  EXPECT_FALSE(s.next(frames)) << what;
  EXPECT_GE(Clock::now() - last, std::chrono::microseconds(killTimeLen)) << what;
  EXPECT_EQ(s.stamp1(frames), (Stamp{0, 0})) << what << ": no message, no stamp";
  EXPECT_EQ(MURV::object_cast<MURV::Matrix<float>>(s.get(s.matout, frames)).rows, 0) << what;
}

}  // namespace

TEST(SyncRos, FramesComeOutBesideTheJointStateInForceFromRoscppAndRostopic) {
  subtest::RosNetwork net("murv_sync_e2e");
  const Overrides common = {{"TOPIC_NAME_MURVWAVE", stringParam("/sync_e2e_wave")},
                            {"DATA_BUFFER_NUM", intParam(2000)},
                            {"MSG_BUFFER_NUM", intParam(2000)},
                            {"KILL_TIME_LEN", intParam(killTimeLen)}};
  Overrides fromCli = common;
  fromCli["TOPIC_NAME"] = stringParam("/sync_e2e/cli_joints");
  Sync roscppPaired("roscpp", "MurvWave", {"MATOUT"}, common);
  Sync cliPaired("cli", "MurvWave", {"MATOUT"}, fromCli);

  // What rostopic sends, as this process receives it.
  ros::NodeHandle nh;
  std::mutex lock;
  std::vector<sensor_msgs::JointState> cliStates;
  ros::Subscriber recorder = nh.subscribe<sensor_msgs::JointState>(
      "/sync_e2e/cli_joints", 1000, [&](const sensor_msgs::JointState::ConstPtr& s) {
        std::lock_guard<std::mutex> g(lock);
        cliStates.push_back(*s);
      });
  BackgroundCommand cli(
      "exec rostopic pub -s -r 50 /sync_e2e/cli_joints sensor_msgs/JointState "
      "'{header: {stamp: now}, name: [pan], position: [0.25, 3], velocity: [-2.5]}'");
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard<std::mutex> g(lock);
    return !cliStates.empty();
  })) << cli.output();

  // The publishing network: frame c stamped t0 + c x 20 ms.
  const std::int64_t t0 = (static_cast<std::int64_t>(ros::Time::now().sec) + 1) * 1000000;
  using pubtest::NodeRef;
  MURV::ParameterSet params = pubtest::publisherParams("/sync_e2e");
  params.add("BUFFER_NUM", MURV::ObjectRef(new MURV::NetCType<int>(frames)));
  NodeRef pub(pubtest::makePublisher("pub", params));
  NodeRef wave(new pubtest::Feed("wave", [](int c) { return pubtest::matrixOf(frameRows(c)); }));
  NodeRef stamps(new pubtest::Feed("ts", [t0](int c) {
    const std::int64_t t = t0 + c * framePeriod;
    return pubtest::timeStamp(long(t / 1000000), long(t % 1000000));
  }));
  pub->connectToNode("MIC_WAVE", wave.node, "OUTPUT");
  pub->connectToNode("TIMESTAMP", stamps.node, "OUTPUT");
  pub->initialize();
  ros::Publisher joints = nh.advertise<sensor_msgs::JointState>("/sync_test/joints", 1000);
  ros::Publisher frameTopic = nh.advertise<murv_msgs::MurvWave>("/sync_e2e_wave", 1);
  ASSERT_TRUE(waitFor([&] { return joints.getNumSubscribers() > 0 && frameTopic.getNumSubscribers() > 0; }));
  for (int c = 0; c < frames; ++c) pub->getOutput(0, c);

  // Joint state j stamped t0 + j x 7 ms, one every 7 ms, past the last
  // frame; state 20 has the stamp of frame 7, which it does not pair with.
  std::vector<sensor_msgs::JointState> sent;
  for (int j = 0; j * jointPeriod <= frames * framePeriod; ++j) {
    sensor_msgs::JointState s = jointAt(t0 + j * jointPeriod);
    s.position = {0.5 * j, j + 0.25};
    s.velocity = {-1.0 * j};
    sent.push_back(s);
  }
  std::thread publisher([&] {
    for (const sensor_msgs::JointState& s : sent) {
      joints.publish(s);
      std::this_thread::sleep_for(std::chrono::microseconds(jointPeriod));
    }
  });
  readStream(roscppPaired, "roscpp joint states", t0, [&] { return sent; });
  publisher.join();
  readStream(cliPaired, "rostopic joint states", t0, [&] {
    std::lock_guard<std::mutex> g(lock);
    return cliStates;
  });
  EXPECT_EQ(inForce(sent, at(t0 + 7 * framePeriod)).header.stamp, at(t0 + 19 * jointPeriod));

  // A frame after the last joint state: the node waits for one until SIGINT,
  // and leaves the frame queued.
  callbackFuncSyncMurvMsgsAndJointState& h = roscppPaired.holder();
  pub->getOutput(0, frames);
  ASSERT_TRUE(waitFor([&] { return murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave) == 1; }));
  std::thread signaller([&] {
    waitFor([&] { return murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave) == 0; });
    std::raise(SIGINT);
  });
  HostFailure f = hostFailure([&] { roscppPaired.next(frames + 1); });
  signaller.join();
  EXPECT_EQ(f.message, "roscpp Force-quit...");
  EXPECT_FALSE(f.hasNode);
  EXPECT_EQ(f.file + ":" + std::to_string(f.line), "src/SyncMurvMsgsAndJointState:1073");
  EXPECT_EQ(murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave), 1u);
}
