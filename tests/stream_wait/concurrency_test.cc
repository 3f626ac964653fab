// The waits woken by callbacks on other threads: a notification ends a
// blocking wait at once, and none is lost between a wait's look and its
// sleep. The tick is made a minute long here, so that a wait that ends in
// seconds can only have been woken by a notification. Meant for the
// ThreadSanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "StreamWait.h"

using namespace murvstream;

namespace {

const std::int64_t minute = 60000000;

class LongTick : public SteadyWaitEnvironment {
public:
  LongTick() : SteadyWaitEnvironment(minute) {}
  void block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t until) override {
    ++blocks;
    SteadyWaitEnvironment::block(wake, seen, until);
  }
  bool rosRunning() override { return true; }
  std::atomic<int> blocks{0};
};

// What a callback holder does: change under its lock, notify after.
struct Holder {
  std::mutex lock;
  int queued = 0;
  WaitNotifier arrivals;
  void arrive() {
    {
      std::lock_guard<std::mutex> guard(lock);
      ++queued;
    }
    arrivals.notify();
  }
  int held() {
    std::lock_guard<std::mutex> guard(lock);
    return queued;
  }
};

double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

bool waitForBlocks(LongTick& env, int n) {
  const auto begin = std::chrono::steady_clock::now();
  while (env.blocks < n) {
    if (secondsSince(begin) > 30) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

}  // namespace

// The data wait (with a time-out far off and with none) and the wait for a
// first message: a notification without a change makes the waiter look and
// sleep again; the one after the frame has been queued ends the wait.
TEST(StreamWaitWakeUp, AFrameArrivingDuringABlockingWaitEndsItWithoutWaitingForTheTick) {
  static StopFlag stop;
  for (int wait = 0; wait < 3; ++wait) {
    LongTick env;
    StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
    Holder h;
    h.arrivals = waiter.notifier();
    std::thread callback([&] {
      if (!waitForBlocks(env, 1)) return;
      h.arrivals.notify();
      if (!waitForBlocks(env, 2)) return;
      h.arrive();
    });
    const auto begin = std::chrono::steady_clock::now();
    bool data = true;
    if (wait == 0) data = waiter.waitForData([&] { return h.held() > 0; }, 9999998, true, 766);
    if (wait == 1) data = waiter.waitForData([&] { return h.held() > 0; }, 0, false, 766);
    if (wait == 2) waiter.waitFirstMessage([&] { return h.held() > 0; }, 737);
    callback.join();
    EXPECT_TRUE(data) << wait;
    EXPECT_EQ(env.blocks, 2) << wait;
    EXPECT_LT(secondsSince(begin), 5) << wait;
  }
}

// Many waits in a row, each for one more frame, with the frames queued on
// several threads as the waiter asks for them: every wait ends by a
// notification, none by the tick.
TEST(StreamWaitWakeUp, NoNotificationIsLost) {
  static StopFlag stop;
  LongTick env;
  StreamWaiter waiter("stream", stop, "AudioStreamFromRos", env);
  Holder h;
  h.arrivals = waiter.notifier();
  const int rounds = 2000;
  std::atomic<int> asked{0}, given{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> callbacks;
  for (int t = 0; t < 3; ++t)
    callbacks.emplace_back([&] {
      while (!done) {
        int g = given;
        if (g < asked && given.compare_exchange_strong(g, g + 1))
          h.arrive();
        else
          std::this_thread::yield();
      }
    });
  const auto begin = std::chrono::steady_clock::now();
  int ended = 0;
  for (int k = 1; k <= rounds; ++k) {
    asked = k;
    if (waiter.waitForData([&] { return h.held() >= k; }, 9999999, true, 285)) ++ended;
  }
  done = true;
  for (std::thread& t : callbacks) t.join();
  EXPECT_EQ(ended, rounds);
  EXPECT_LT(secondsSince(begin), 30);
  EXPECT_GT(env.blocks, 0) << "the waits did sleep";
}
