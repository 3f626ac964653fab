// Frames and joint states arriving on other threads into full FIFOs while
// the node pairs and converts: every output is one whole frame beside one
// whole joint state, and the state in force never goes back in time. Meant
// for the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "SyncTestSupport.h"

using namespace synctest;

TEST(SyncConcurrency, FullFifosNeverMixOneFrameWithAnothersJointState) {
  subtest::RosNetwork net("murv_sync_stress");
  Sync s("stress", "MurvWave", {{"DATA_BUFFER_NUM", intParam(2)}, {"KILL_TIME_LEN", intParam(20000)}});
  const int frames = 300, start = 100000000;  // frame c at 100 s + c ms, its samples all c
  std::atomic<int> sending{2};
  std::thread audio([&] {
    for (int c = 0; c < frames; ++c) {
      murv_msgs::MurvWave m = subtest::wave(c, 4, 64);
      m.header.stamp = at(start + 1000 * c);
      for (auto& ch : m.src) ch.wavedata.assign(64, float(c));
      s.holder().cb_murvwave(shared(m));
      if (c % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    --sending;
  });
  std::thread joints([&] {
    for (std::int64_t t = start - 1000; t <= start + 1000 * frames; t += 300) {
      s.joint(jointAt(t));
      if (t % 1200 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    --sending;
  });
  int converted = 0, mixed = 0, backwards = 0;
  Stamp last{0, 0};
  for (int count = 0; sending > 0 || s.queued() > 0; ++count) {
    if (!s.next(count)) continue;
    ++converted;
    const Stamp frame = s.stamp1(count), state = s.stamp2(count);
    for (const auto& row : rowsOf(s.get("MATOUT", count))) mixed += row != std::vector<float>(64, frame.usec / 1000);
    if (state.sec != 0) mixed += s.floats("POSITION", count) != std::vector<float>{float(state.usec / 1000.0)};
    backwards += state.sec < last.sec || (state.sec == last.sec && state.usec < last.usec);
    last = state;
  }
  audio.join();
  joints.join();
  EXPECT_GT(converted, 0);
  EXPECT_EQ(mixed, 0) << "each output is one frame and one joint state";
  EXPECT_EQ(backwards, 0) << "the joint state in force never goes back in time";
}
