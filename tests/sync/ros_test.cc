// SyncMurvMsgsAndJointState against a private master, in one run: the
// holders fed directly for every type, then real traffic from roscpp and
// rostopic, the end of the streams, and SIGINT.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>

#include "SyncTestSupport.h"

using namespace synctest;
using murvtest::waitFor;

namespace {

// Hands s a message of its type with the given count, stamped t.
void feed(Sync& s, const std::string& type, int count, const ros::Time& t) {
  callbackFuncSyncMurvMsgsAndJointState& h = s.holder();
  auto stamped = [&](auto m) { m.header.stamp = t; return shared(m); };
  if (type == "MurvWave") h.cb_murvwave(stamped(subtest::wave(count, 2, 3)));
  if (type == "MurvFFT") h.cb_murvfft(stamped(subtest::fft(count, 2, 3)));
  if (type == "MurvFeature") h.cb_murvfeature(stamped(subtest::feature(count, 2, 2, 3)));
  if (type == "MurvSource") h.cb_murvsource(stamped(subtest::source(count, 2, 2)));
  if (type == "MurvSrcWave") h.cb_murvsrcwave(stamped(subtest::srcWave(count, 2, 2, 3)));
  if (type == "MurvSrcFFT") h.cb_murvsrcfft(stamped(subtest::srcFFT(count, 2, 2, 3)));
  if (type == "MurvSrcFeature") h.cb_murvsrcfeature(stamped(subtest::srcFeature(count, 2, 2, 3)));
  if (type == "MurvSrcFeatureMFM") h.cb_murvsrcfeaturemfm(stamped(subtest::srcFeatureMFM(count, 2, 2, 3, 3)));
}

}  // namespace

TEST(SyncRos, PairsByTheFullStampOnRealTrafficUntilSilenceOrSigint) {
  subtest::RosNetwork net("murv_sync_test");

  // Every type: a message at 109.5 s pairs with the joint state at 109.4 s,
  // not with the one a window earlier, and leaves its FIFO once: the five
  // that fill it while the node waits (without a limit) for the state at
  // 110.2 s come next.
  // The trace shows window times; 0 s and 109.3 s have been removed.
  for (const std::string type : {"MurvWave", "MurvFFT", "MurvFeature", "MurvSource", "MurvSrcWave", "MurvSrcFFT",
                                 "MurvSrcFeature", "MurvSrcFeatureMFM"}) {
    Sync s(type, type,
           {{"ENABLE_SYNC_DEBUG", boolParam(true)}, {"ENABLE_DEBUG", boolParam(true)},
            {"KILL_TIME_LEN", intParam(9999999)}});
    for (std::int64_t t : {109300000, 109400000}) s.joint(jointAt(t));
    feed(s, type, 1, at(109500000));
    std::thread traffic([&] {
      waitFor([&] { return s.queued() == 0; });
      for (int c = 2; c <= 6; ++c) feed(s, type, c, at(109500000 + c * 100000));
      s.joint(jointAt(110200000));
    });
    testing::internal::CaptureStdout();
    EXPECT_TRUE(s.next(0) && s.next(1)) << type;
    traffic.join();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(s.stamp1(0), (Stamp{109, 500000})) << type;
    EXPECT_EQ(s.stamp2(0), (Stamp{109, 400000})) << type;
    std::string trace = "0 [ Base : 109.500000000 , Sync : 109.400000000 , M Buf Size : 1 , S Buf Size : 2";
    trace += type == "MurvWave" ? " , btime : 9500000000 , stime_i : 9400000000 , stime_f : 200000000 , "
                                  "btime - stime_i : 100000000 , index : 2 ]\n"
                                : " , btime : -500000000 , stime : 9400000000 , btime - stime : -9900000000 ]\n";
    trace += "0 : 1 : 1 : 2\n1 [ Base : 109.700000000 , Sync : 109.400000000 , M Buf Size : 5";
    EXPECT_NE(out.find(trace), std::string::npos) << type << "\n" << out;
  }
  EXPECT_EQ(hostFailure([] { Sync s("case", "murvwave"); }).message.rfind("STREAM_SELECTION murvwave is not supported: ", 0),
            0u);
  const HostFailure rate = hostFailure([] { Sync s("rate", "MurvWave", {{"ROS_LOOP_RATE", floatParam(-1.0f)}}); });
  EXPECT_NE(rate.message.find("ROS_LOOP_RATE"), std::string::npos) << rate.text;

  // Joint states that do not reach a message's time within KILL_TIME_LEN,
  // whatever KILL_NETWORK says: it goes out beside the newest one with a
  // warning, the older ones go all the same (so after a frame stamped far
  // ahead the next ones pair with the newest too), every frame comes out
  // once, and the stream ends as it otherwise would.
  {
    subtest::LogCapture log;
    const std::int64_t s = 100000000;
    struct Late { bool killNetwork; std::vector<std::int64_t> joints; std::vector<ros::Time> frames, paired; };
    const Late cases[] = {
        {true, {50000000}, {at(s), at(s + 20000)}, {at(50000000), at(50000000)}},  // stamped at the publisher's start
        {false, {50000000}, {at(s), at(s + 20000)}, {at(50000000), at(50000000)}},
        {true, {s, s + 20000, s + 40000}, {ros::Time(4294967295u, 999999999u), at(s + 10000), at(s + 30000)},
         {at(s + 40000), at(s + 40000), at(s + 40000)}},
        {true, {s, s + 20000}, {at(s + 10000), at(s + 30000), at(s + 50000)}, {at(s), at(s + 20000), at(s + 20000)}},
    };
    for (const Late& c : cases) {
      const std::string name = "late" + std::to_string(&c - cases);
      Sync n(name, "MurvWave", {{"KILL_TIME_LEN", intParam(100000)}, {"KILL_NETWORK", boolParam(c.killNetwork)}});
      for (std::int64_t t : c.joints) n.joint(jointAt(t));
      for (std::size_t k = 0; k < c.frames.size(); ++k) feed(n, "MurvWave", int(k), c.frames[k]);
      for (int k = 0; k < int(c.frames.size()); ++k) {
        EXPECT_TRUE(n.next(k) && n.stamp1(k) == stampOf(c.frames[k])) << name << " " << k;
        EXPECT_EQ(n.stamp2(k), stampOf(c.paired[k])) << name << " " << k;
      }
      // The stream ends; its last iteration keeps the joint state last paired.
      if (c.killNetwork) {
        EXPECT_FALSE(n.next(int(c.frames.size()))) << name;
        EXPECT_EQ(n.stamp2(int(c.frames.size())), stampOf(c.paired.back())) << name;
      }
      EXPECT_GE(log.count(ros::console::levels::Warn, name + ": no joint state reached the message stamped "), 1);
    }
    EXPECT_EQ(log.count(ros::console::levels::Warn, "late2: no joint state reached the message stamped 4294967295.9999"
                                                    "99999 within KILL_TIME_LEN; it goes out with the newest joint "
                                                    "state, stamped 100.040000000"), 1);
  }

  // Frame c stamped t0 + c x 20 ms; joint state j stamped t0 + j x 7 ms, to
  // a little past the last frame (state 20 has the stamp of frame 7, which
  // it does not pair with). roscpp sends them all at once; rostopic sends
  // the joint states at 200 Hz to a second node.
  const int t0 = 200000000, frames = 50, framePeriod = 20000, jointPeriod = 7000, killTimeLen = 1000000;
  const Overrides common = {{"TOPIC_NAME_MURVWAVE", stringParam("/sync_e2e_wave")}, {"DATA_BUFFER_NUM", intParam(2000)},
                            {"MSG_BUFFER_NUM", intParam(2000)}, {"KILL_TIME_LEN", intParam(killTimeLen)}};
  Overrides fromCli = common;
  fromCli["TOPIC_NAME"] = stringParam("/sync_e2e/cli_joints");
  Sync roscppPaired("roscpp", "MurvWave", common), cliPaired("cli", "MurvWave", fromCli);
  std::vector<sensor_msgs::JointState> sent;
  const std::string file = std::string(MURV_BINARY_DIR) + "/sync_joints.yaml";
  std::ofstream yaml(file);
  for (int j = 0; j * jointPeriod < (frames + 3) * framePeriod; ++j) {
    sent.push_back(jointAt(t0 + j * jointPeriod));
    sensor_msgs::JointState& s = sent.back();
    s.position.push_back(j + 0.25);  // two positions, one velocity
    yaml << "---\nheader: {stamp: {secs: " << s.header.stamp.sec << ", nsecs: " << s.header.stamp.nsec
         << "}}\nposition: [" << s.position[0] << ", " << s.position[1] << "]\nvelocity: [" << s.velocity[0] << "]\n";
  }
  yaml.close();
  auto frame = [&](int c) {
    murv_msgs::MurvWave m = subtest::wave(c, 2, 2, float(c));
    m.header.stamp = at(t0 + c * framePeriod);
    return m;
  };
  ros::NodeHandle nh;
  ros::Publisher frameTopic = nh.advertise<murv_msgs::MurvWave>("/sync_e2e_wave", 1000);
  ros::Publisher joints = nh.advertise<sensor_msgs::JointState>("/sync_test/joints", 1000);
  ASSERT_TRUE(waitFor([&] { return joints.getNumSubscribers() > 0 && frameTopic.getNumSubscribers() > 0; }));
  for (int c = 0; c < frames; ++c) frameTopic.publish(frame(c));
  for (const sensor_msgs::JointState& s : sent) joints.publish(s);
  murvtest::BackgroundCommand cli("exec /usr/bin/python3 /usr/bin/rostopic pub -r 200 -f " + file +
                                  " /sync_e2e/cli_joints sensor_msgs/JointState");
  ASSERT_TRUE(waitFor([&] { return !cliPaired.sync().jointHolder().newestStamp().isZero(); })) << cli.output();
  // Each node: every frame whole beside the joint state in force, then the
  // end of the stream after KILL_TIME_LEN of silence, without a message.
  for (Sync* s : {&roscppPaired, &cliPaired}) {
    SCOPED_TRACE(s->node->getName());
    for (int c = 0; c < frames; ++c) {
      EXPECT_TRUE(s->next(c)) << c << " " << cli.output();
      const murv_msgs::MurvWave m = frame(c);
      // The last state strictly older than the frame; for frame 0 the default.
      const sensor_msgs::JointState expected =
          c ? sent[(c * framePeriod - 1) / jointPeriod] : sensor_msgs::JointState();
      EXPECT_EQ(s->stamp1(c), stampOf(m.header.stamp)) << c;
      EXPECT_EQ(rowsOf(s->get("MATOUT", c)), (std::vector<std::vector<float>>{m.src[0].wavedata, m.src[1].wavedata}));
      EXPECT_EQ(s->stamp2(c), stampOf(expected.header.stamp)) << c;
      EXPECT_EQ(s->floats("POSITION", c), std::vector<float>(expected.position.begin(), expected.position.end())) << c;
      EXPECT_EQ(s->floats("VELOCITY", c), std::vector<float>(expected.velocity.begin(), expected.velocity.end())) << c;
    }
    const auto last = std::chrono::steady_clock::now();
    EXPECT_FALSE(s->next(frames));
    EXPECT_GE(secondsSince(last), killTimeLen / 1e6);
    EXPECT_EQ(s->stamp1(frames), (Stamp{0, 0})) << "no message, no stamp";
    EXPECT_EQ(MURV::object_cast<MURV::Matrix<float>>(s->get("MATOUT", frames)).rows, 0);
  }

  // A frame after the last joint state goes out beside it after KILL_TIME_LEN.
  frameTopic.publish(frame(frames + 3));
  ASSERT_TRUE(waitFor([&] { return roscppPaired.queued() == 1; }));
  EXPECT_TRUE(roscppPaired.next(frames + 1));
  EXPECT_EQ(roscppPaired.stamp2(frames + 1), stampOf(sent.back().header.stamp));

  // Joint states a second behind the audio, for ten seconds of traffic sent
  // as it would come (frames at 50 Hz, joint states at 200 Hz): every wait
  // for them gives up after KILL_TIME_LEN, and every pairing still drops
  // the older ones, so the FIFO stays small though DATA_BUFFER_NUM sets no
  // bound. The trace shows what is held after each pairing.
  {
    subtest::LogCapture log;
    const int lagFrames = 500;
    Sync lag("lag", "MurvWave",
             {{"TOPIC_NAME_MURVWAVE", stringParam("/sync_lag_wave")}, {"TOPIC_NAME", stringParam("/sync_lag/joints")},
              {"KILL_TIME_LEN", intParam(1000)}, {"DATA_BUFFER_NUM", intParam(-1)}, {"MSG_BUFFER_NUM", intParam(0)},
              {"KILL_NETWORK", boolParam(false)}, {"ENABLE_SYNC_DEBUG", boolParam(true)}});
    ros::Publisher lagFrameTopic = nh.advertise<murv_msgs::MurvWave>("/sync_lag_wave", 0);
    ros::Publisher lagJoints = nh.advertise<sensor_msgs::JointState>("/sync_lag/joints", 0);
    ASSERT_TRUE(waitFor([&] { return lagJoints.getNumSubscribers() > 0 && lagFrameTopic.getNumSubscribers() > 0; }));
    const auto start = std::chrono::steady_clock::now();
    std::thread traffic([&] {
      for (int j = 0; j < 4 * lagFrames; ++j) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(5 * j));
        lagJoints.publish(jointAt(t0 - 1000000 + j * 5000));
        if (j % 4 == 0) lagFrameTopic.publish(frame(j / 4));
      }
    });
    testing::internal::CaptureStdout();
    std::size_t mostHeld = 0;
    int c = 0;
    for (; c < lagFrames && waitFor([&] { return lag.queued() > 0; }); ++c) {
      EXPECT_TRUE(lag.next(c) && lag.stamp1(c) == stampOf(frame(c).header.stamp)) << c;
      callbackFuncSyncRosJointState& held = lag.sync().jointHolder();
      std::lock_guard<std::mutex> g(held.fifo_lock);
      mostHeld = std::max(mostHeld, held.fifo_jointstate.size());
    }
    traffic.join();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(c, lagFrames) << "every frame comes out once, in order";
    std::size_t traced = 0, mostTraced = 0;
    for (std::size_t p = out.find("S Buf Size : "); p != std::string::npos; p = out.find("S Buf Size : ", p + 1)) {
      ++traced;
      mostTraced = std::max<std::size_t>(mostTraced, std::stoul(out.substr(p + 13, 12)));
    }
    EXPECT_EQ(traced, std::size_t(lagFrames));
    EXPECT_LE(mostTraced, 2u) << out.substr(0, 2000);
    EXPECT_LE(mostHeld, 20u) << "at most what arrived since the last pairing";
    const int warnings = log.count(ros::console::levels::Warn, "lag: no joint state reached the message stamped ");
    EXPECT_TRUE(warnings >= 1 && warnings <= secondsSince(start) + 1) << warnings;
  }

  // Without a time limit the node waits for joint states until SIGINT, and
  // leaves the frame queued.
  Sync forever("forever", "MurvWave", {{"KILL_TIME_LEN", intParam(9999999)}});
  feed(forever, "MurvWave", 1, at(t0));
  std::thread signaller([&] {
    waitFor([&] { return forever.queued() == 0; });
    std::raise(SIGINT);
  });
  const HostFailure f = hostFailure([&] { forever.next(0); });
  signaller.join();
  EXPECT_EQ(f.message + (f.hasNode ? " (node)" : "") + " at " + f.file + ":" + std::to_string(f.line),
            "forever Force-quit... at src/SyncMurvMsgsAndJointState:1073");
  EXPECT_EQ(forever.queued(), 1u);

  // Any wait now gives up on the stop flag, but joint states that stopped
  // are not waited for again: the next frame still goes out.
  frameTopic.publish(frame(frames + 4));
  ASSERT_TRUE(waitFor([&] { return roscppPaired.queued() == 1; }));
  EXPECT_TRUE(roscppPaired.next(frames + 2));
}
