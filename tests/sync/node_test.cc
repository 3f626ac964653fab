// The node with messages handed to its holders directly, against a private
// master: every type paired across a window boundary with its traces, the
// refused selection, and the message paired being the one converted.
#include <gtest/gtest.h>

#include <thread>

#include "MsgFifo.h"
#include "SyncTestSupport.h"

using namespace synctest;

namespace {

// Hands s a message of its type, stamped t.
void feed(Sync& s, const std::string& type, const ros::Time& t) {
  callbackFuncSyncMurvMsgsAndJointState& h = s.holder();
  auto stamped = [&](auto m) {
    m.header.stamp = t;
    return shared(m);
  };
  if (type == "MurvWave") h.cb_murvwave(stamped(subtest::wave(1, 2, 3)));
  if (type == "MurvFFT") h.cb_murvfft(stamped(subtest::fft(1, 2, 3)));
  if (type == "MurvFeature") h.cb_murvfeature(stamped(subtest::feature(1, 2, 2, 3)));
  if (type == "MurvSource") h.cb_murvsource(stamped(subtest::source(1, 2, 2)));
  if (type == "MurvSrcWave") h.cb_murvsrcwave(stamped(subtest::srcWave(1, 2, 2, 3)));
  if (type == "MurvSrcFFT") h.cb_murvsrcfft(stamped(subtest::srcFFT(1, 2, 2, 3)));
  if (type == "MurvSrcFeature") h.cb_murvsrcfeature(stamped(subtest::srcFeature(1, 2, 2, 3)));
  if (type == "MurvSrcFeatureMFM") h.cb_murvsrcfeaturemfm(stamped(subtest::srcFeatureMFM(1, 2, 2, 3, 3)));
}

}  // namespace

TEST(SyncNode, EveryTypePairsByItsFullStampAcrossAWindowBoundary) {
  subtest::RosNetwork net("murv_sync_types");
  for (const std::string type : {"MurvWave", "MurvFFT", "MurvFeature", "MurvSource", "MurvSrcWave", "MurvSrcFFT",
                                 "MurvSrcFeature", "MurvSrcFeatureMFM"}) {
    Sync s(type, type, {}, {{"ENABLE_SYNC_DEBUG", boolParam(true)}, {"ENABLE_DEBUG", boolParam(true)}});
    for (std::int64_t t : {109300000, 109400000, 110200000}) s.joint(jointAt(t));
    feed(s, type, at(109500000));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(s.next(0)) << type;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(s.stamp1(0), (Stamp{109, 500000})) << type;
    EXPECT_EQ(s.stamp2(0), (Stamp{109, 400000})) << type << ": in force, not the state a window earlier";
    EXPECT_EQ(s.floats(s.position, 0), std::vector<float>{400.0f}) << type;
    EXPECT_EQ(s.floats(s.velocity, 0), std::vector<float>{-400.0f}) << type;
    EXPECT_EQ(s.sync().jointHolder().fifo_jointstate.size(), 2u) << type << ": the state in force stays";
    // The trace keeps showing window times: the default state and 109.3 s
    // were removed, the newest is at 0.2 s of the next window.
    std::string trace = "0 [ Base : 109.500000000 , Sync : 109.400000000 , M Buf Size : 1 , S Buf Size : 2";
    trace += type == "MurvWave" ? " , btime : 9500000000 , stime_i : 9400000000 , stime_f : 200000000 , "
                                  "btime - stime_i : 100000000 , index : 2 ]\n"
                                : " , btime : -500000000 , stime : 9400000000 , btime - stime : -9900000000 ]\n";
    EXPECT_EQ(out, trace + "0 : 1 : 1 : 2\n") << type;
  }
  HostFailure unknown = hostFailure([] { Sync s("case", "murvwave", {"MATOUT"}); });
  EXPECT_EQ(unknown.message, "murvwave is not supported.");
  HostFailure rate = hostFailure([] { Sync s("rate", "MurvWave", {}, {{"ROS_LOOP_RATE", floatParam(-1.0f)}}); });
  EXPECT_NE(rate.message.find("ROS_LOOP_RATE"), std::string::npos) << rate.text;
}

// A newer message that pushes the oldest out of a full FIFO while the node
// waits for joint states does not take the place of the one being paired.
TEST(SyncNode, TheMessagePairedIsTheMessageConverted) {
  subtest::RosNetwork net("murv_sync_once");
  Sync s("once", "MurvWave", {"MATOUT"}, {{"DATA_BUFFER_NUM", intParam(2)}});
  callbackFuncSyncMurvMsgsAndJointState& h = s.holder();
  feed(s, "MurvWave", at(10000000));
  std::thread traffic([&] {
    murvtest::waitFor([&] { return murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave) == 0; });
    for (int c : {2, 3}) {
      murv_msgs::MurvWave later = subtest::wave(c, 1, 1);
      later.header.stamp = at(c * 10000000);
      h.cb_murvwave(shared(later));
    }
    for (std::int64_t t : {9000000, 15000000}) s.joint(jointAt(t));
  });
  EXPECT_TRUE(s.next(0));
  traffic.join();
  EXPECT_EQ(s.stamp1(0), (Stamp{10, 0}));
  EXPECT_EQ(rowsOf(s.get(s.matout, 0)).size(), 2u) << "the data of the message at 10 s";
  EXPECT_EQ(s.stamp2(0), (Stamp{9, 0}));
  s.joint(jointAt(25000000));
  EXPECT_TRUE(s.next(1));
  EXPECT_EQ(s.stamp1(1), (Stamp{20, 0}));
  EXPECT_EQ(s.stamp2(1), (Stamp{15, 0}));
}
