// The holders under concurrent use: frames and joint states arriving on
// other threads into full FIFOs while the node pairs and converts. Every
// output must be one whole frame beside one whole joint state, and the joint
// state in force never goes back in time. Meant for the ThreadSanitizer
// build, and checked in every build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "MsgFifo.h"
#include "SyncTestSupport.h"

using namespace synctest;

TEST(SyncConcurrency, FullFifosNeverMixOneFrameWithAnothersJointState) {
  subtest::RosNetwork net("murv_sync_stress");
  Sync s("stress", "MurvWave", {"MATOUT"},
         {{"DATA_BUFFER_NUM", intParam(2)}, {"KILL_TIME_LEN", intParam(20000)}});
  callbackFuncSyncMurvMsgsAndJointState& h = s.holder();
  const int frames = 300;
  const std::int64_t start = 100000000;  // 100 s; frame c at 100 s + c ms, its samples all c
  std::atomic<bool> framesDone{false}, jointsDone{false};
  std::thread audio([&] {
    for (int c = 0; c < frames; ++c) {
      murv_msgs::MurvWave m = subtest::wave(c, 4, 64);
      m.header.stamp = at(start + 1000 * c);
      for (auto& ch : m.src) ch.wavedata.assign(64, float(c));
      h.cb_murvwave(shared(m));
      if (c % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    framesDone = true;
  });
  std::thread joints([&] {
    for (std::int64_t t = start - 1000; t <= start + 1000 * frames; t += 300) {
      s.joint(jointAt(t));
      if (t % 1200 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    jointsDone = true;
  });

  int converted = 0, mixed = 0, backwards = 0;
  Stamp lastState{0, 0};
  for (int count = 0; !framesDone || !jointsDone || murvmsg::entriesIn(h.fifo_lock, h.fifo_murvwave) > 0; ++count) {
    if (!s.next(count)) continue;
    ++converted;
    const Stamp frame = s.stamp1(count), state = s.stamp2(count);
    const float c = float((frame.usec) / 1000);
    for (const auto& row : rowsOf(s.get(s.matout, count)))
      for (float v : row) mixed += v != c;
    if (state.sec != 0) mixed += s.floats(s.position, count) != std::vector<float>{float(double(state.usec) / 1000.0)};
    backwards += state.sec < lastState.sec || (state.sec == lastState.sec && state.usec < lastState.usec);
    lastState = state;
  }
  audio.join();
  joints.join();
  EXPECT_GT(converted, 0);
  EXPECT_EQ(mixed, 0) << "each output is one frame and one joint state";
  EXPECT_EQ(backwards, 0) << "the joint state in force never goes back in time";
}
