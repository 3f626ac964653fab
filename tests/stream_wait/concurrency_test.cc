// Waits woken by callbacks on other threads, for the ThreadSanitizer build.
// The tick is a minute here: a wait that ends within seconds can only have
// been woken by a notification.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "RosMaster.h"
#include "stop/StopPause.h"
#include "stop/StreamWait.h"

using namespace murvstream;
using murvtest::waitFor;
using Clock = std::chrono::steady_clock;

namespace {

StopFlag stop;

// The real waits with a minute's tick, counting the sleeps.
struct LongTick : SteadyWaitEnvironment {
  LongTick() : SteadyWaitEnvironment(60000000) {}
  void block(const WaitNotifier& wake, std::uint64_t seen, std::int64_t until) override {
    ++blocks;
    SteadyWaitEnvironment::block(wake, seen, until);
  }
  bool rosRunning() override { return true; }
  std::atomic<int> blocks{0};
};

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Whether wait ended with a host exception, as a stopped wait does.
bool throws(const std::function<void()>& wait) {
  try {
    wait();
  } catch (MURV::BaseException* e) {
    delete e;
    return true;
  }
  return false;
}

}  // namespace

// The data wait (with a time-out far off and with none) and the wait for a
// first message: a notification without a change makes the waiter look and
// sleep again; the one after the frame has been queued ends the wait.
TEST(StreamWaitWakeUp, AFrameArrivingDuringABlockingWaitEndsItWithoutWaitingForTheTick) {
  LongTick env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  const WaitNotifier arrivals = waiter.notifier();
  std::atomic<int> queued{0};
  std::thread callback([&] {  // what a callback holder does: queue, then notify
    for (int wait = 0; wait < 3; ++wait) {
      waitFor([&] { return env.blocks >= 2 * wait + 1; });
      arrivals.notify();
      waitFor([&] { return env.blocks >= 2 * wait + 2; });
      ++queued;
      arrivals.notify();
    }
  });
  const auto begin = Clock::now();
  EXPECT_TRUE(waiter.waitForData([&] { return queued > 0; }, 9999998, true, 766));
  EXPECT_TRUE(waiter.waitForData([&] { return queued > 1; }, 0, false, 766));
  waiter.waitFirstMessage([&] { return queued > 2; }, 737);
  callback.join();
  EXPECT_EQ(env.blocks, 6) << "two sleeps for each wait";
  EXPECT_LT(secondsSince(begin), 5);
}

// Many waits in a row, each for one more frame, with the frames queued on
// several threads as the waiter asks for them: a lost notification would
// cost a minute's tick.
TEST(StreamWaitWakeUp, NoNotificationIsLost) {
  LongTick env;
  StreamWaiter waiter("stream", stop, "AudioStreamFromRos", env);
  const WaitNotifier arrivals = waiter.notifier();
  const int rounds = 2000;
  std::atomic<int> asked{0}, queued{0};
  std::vector<std::thread> callbacks;
  for (int t = 0; t < 3; ++t)
    callbacks.emplace_back([&, t] {  // frame k from thread k % 3, once it is asked for
      for (int k = t + 1; k <= rounds; k += 3) {
        while (asked < k) std::this_thread::yield();
        ++queued;
        arrivals.notify();
      }
    });
  const auto begin = Clock::now();
  for (int k = 1; k <= rounds; ++k) {
    asked = k;
    waiter.waitForData([&] { return queued >= k; }, 9999999, true, 285);
  }
  for (std::thread& t : callbacks) t.join();
  EXPECT_LT(secondsSince(begin), 30);
  EXPECT_GT(env.blocks, 0) << "the waits did sleep";
}

// A stop signal, handled on another thread, wakes at once a first-message
// wait, a data wait with its time-out far off and a pacing sleep of a
// minute: each ends within seconds, which only the signal's wake can do.
// The stop request stays for the waits: a later wait throws. A later
// pacing sleep of the same iteration ends at once too.
int stopWakesEveryWaiter() {
  installStopSignals();
  LongTick env;
  StreamWaiter first("first", stop, "MurvMsgsStreamFromRos", env), data("data", stop, "AudioStreamFromRos", env);
  std::atomic<int> pacing{0};  // the pacing sleep's iteration has begun
  // The first-message wait, the data wait and the pacing sleep; true: ended by the stop.
  const std::function<bool()> waits[] = {
      [&] { return throws([&] { first.waitFirstMessage([] { return false; }, 737); }); },
      [&] { return throws([&] { data.waitForData([] { return false; }, 9999998, true, 285); }); },
      [&] {
        const IterationStop iteration(7);
        ++pacing;
        return iteration.sleep(60000000) && IterationStop(7).sleep(60000000);
      }};
  std::atomic<int> stopped{0};
  std::vector<std::thread> waiting;
  for (const auto& w : waits) waiting.emplace_back([&] { stopped += w() ? 1 : 0; });
  const auto begin = Clock::now();
  if (!waitFor([&] { return env.blocks >= 2 && pacing > 0; })) return 2;
  std::thread([] { raise(SIGINT); }).join();
  for (std::thread& t : waiting) t.join();
  if (stopped != 3) return 3;
  if (secondsSince(begin) > 5) return 4;
  return waits[0]() ? 0 : 5;
}

TEST(StreamWaitWakeUp, AStopSignalWakesEveryWaitAndSleepAtOnce) {
  EXPECT_EXIT(_exit(stopWakesEveryWaiter()), testing::ExitedWithCode(0), "");
}

// Pacing in a host that handles the stop signals itself and goes on: a
// stop ends the sleeps of the iteration it comes in, whenever it comes in
// it, and the next iteration sleeps its whole time again, on the same
// count after a node has been made, too, whichever thread made it. The
// host's handler is called once per signal.
std::atomic<int> hostStops{0};
void countingHost(int) { ++hostStops; }

TEST(PacingAfterAStop, OnlyTheIterationOfTheStopIsCutShort) {
  enum When { whileAsleep, afterItsSleep, beforeItBegins, beforeANodeIsMade };
  enum Made { none, here, onAnotherThread };  // a node made before the next iteration, with the stopped one's count
  const struct {
    const char* what;
    When when;
    Made nodeMadeAfter;
  } rows[] = {{"while a sleep is in progress", whileAsleep, none},
              {"after the iteration's sleep", afterItsSleep, none},
              {"between two iterations", beforeItBegins, none},
              {"before a node is made", beforeANodeIsMade, none},
              {"then a node is made and the count starts again", whileAsleep, here},
              {"then a node is made on another thread and the count starts again", whileAsleep, onAnotherThread}};
  const std::int64_t minute = 60000000, shortSleep = 50000;
  for (const auto& r : rows) {
    auto body = [&] {
      signal(SIGINT, countingHost);
      installStopSignals(StopUser::pacedNode);
      if (r.when == beforeANodeIsMade) {
        raise(SIGINT);
        installStopSignals(StopUser::pacedNode);
      }
      if (r.when == beforeItBegins) {
        if (IterationStop(0).sleep(shortSleep)) return 2;
        raise(SIGINT);
      }
      const IterationStop stopped(1);
      if (r.when == whileAsleep) {
        std::thread signaller([] {
          waitFor([] { return murvtest::aThreadBlockedIn(getpid(), SYS_ppoll); });
          kill(getpid(), SIGINT);
        });
        const bool ended = stopped.sleep(minute);
        signaller.join();
        if (!ended) return 3;
      }
      if (r.when == afterItsSleep) {
        if (stopped.sleep(shortSleep)) return 4;
        raise(SIGINT);
      }
      // Every sleep of the iteration of the stop ends at once.
      const bool stoppedIteration = r.when != beforeANodeIsMade;
      const std::int64_t asked = stoppedIteration ? minute : shortSleep;
      if (stopped.sleep(asked) != stoppedIteration || IterationStop(1).sleep(asked) != stoppedIteration) return 5;
      // So does the pause of a ROS callback that the iteration runs.
      if (murvnode::StopPause(60).wait(murvnode::StopPause::Since(), asked) != stoppedIteration) return 9;
      if (r.nodeMadeAfter == here) installStopSignals(StopUser::pacedNode);
      if (r.nodeMadeAfter == onAnotherThread) std::thread([] { installStopSignals(StopUser::pacedNode); }).join();
      const int next = r.nodeMadeAfter != none ? 1 : 2;
      const auto begin = Clock::now();
      if (IterationStop(next).sleep(shortSleep) || IterationStop(next).sleep(shortSleep)) return 6;
      if (secondsSince(begin) < 2 * shortSleep / 1e6) return 7;
      return hostStops == 1 ? 0 : 8;
    };
    EXPECT_EXIT(_exit(body()), testing::ExitedWithCode(0), "") << r.what;
  }
}
