// Callbacks on several threads while a stream node waits, drops malformed
// messages, converts and pops. Meant for the ThreadSanitizer build, and
// checked for order, bound and torn messages in every build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "StdMsgsTestSupport.h"

using namespace stdtest;

TEST(StdMsgsConcurrency, CallbacksOnSeveralThreadsWhileTheStreamWaitsDropsAndConverts) {
  subtest::RosNetwork net("murv_std_stress");
  Receiver s(true, "stress", "Float64MultiArray", "Matrix<>",
             {{"DATA_BUFFER_NUM", intParam(8)}, {"KILL_TIME_LEN", intParam(20000)}});
  murvstd::StdMsgsHolder& h = s.holder();
  constexpr int producers = 4, perProducer = 300;
  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p)
    threads.emplace_back([&, p] {
      // Six values of the tag in a 2 x 3 layout; every fifth claims three
      // rows and is malformed.
      for (int i = 0; i < perProducer; ++i) {
        const std::vector<double> tagged(6, p * perProducer + i);
        h.cb_stdfloat64multiarray(shared(arrayMsg<std_msgs::Float64MultiArray>(tagged, {i % 5 == 4 ? 3u : 2u, 3})));
        if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      ++finished;
    });
  std::vector<int> last(producers, -1);
  int converted = 0, disorder = 0, torn = 0;
  std::size_t mostHeld = 0;
  for (int count = 0; finished < producers || h.entries(s.category) > 0; ++count) {
    mostHeld = std::max(mostHeld, h.entries(s.category));
    if (!s.notEof(count)) continue;  // a pause longer than the kill time
    ++converted;
    const MURV::Matrix<float>& m = MURV::object_cast<MURV::Matrix<float>>(s.node->getOutput(0, count));
    const int tag = static_cast<int>(m.data[0]), p = tag / perProducer, i = tag % perProducer;
    if (m.rows != 2 || m.cols != 3 || std::count(m.data, m.data + 6, m.data[0]) != 6 || i % 5 == 4)
      ++torn;
    else if (i <= last[p])
      ++disorder;
    else
      last[p] = i;
  }
  for (std::thread& t : threads) t.join();
  EXPECT_GT(converted, 0);
  EXPECT_LE(mostHeld, 8u);
  EXPECT_EQ(disorder, 0) << "each producer's messages come out once, in the order it sent them";
  EXPECT_EQ(torn, 0) << "no malformed or mixed message comes out";
}
