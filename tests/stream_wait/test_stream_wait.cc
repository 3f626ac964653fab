// The stream nodes' waits, on a simulated clock, and their stop signals.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "StreamWait.h"

using namespace murvstream;

namespace {

// Each pause moves the clock on by step microseconds; data can be made to
// arrive after a number of pauses.
class FakeEnvironment : public WaitEnvironment {
public:
  std::int64_t nowMicros() override { return now; }
  void pause() override {
    ++pauses;
    now += step;
    if (stopAfter >= 0 && pauses >= stopAfter) flagToSet->set();
  }
  bool rosRunning() override { return ros; }

  std::int64_t now = 1000000;  // anywhere: only differences count
  std::int64_t step = 50;
  long pauses = 0;
  long stopAfter = -1;
  StopFlag* flagToSet = nullptr;
  bool ros = true;
};

struct Failure {
  bool thrown = false;
  std::string message, file;
  int line = 0;
  bool hasNode = true;
};

template <class F> Failure failureOf(F f) {
  Failure r;
  try {
    f();
  } catch (MURV::BaseException* e) {
    MURV::NodeException* ne = dynamic_cast<MURV::NodeException*>(e);
    r.thrown = true;
    if (ne) {
      r.message = ne->message;
      r.file = ne->file;
      r.line = ne->line;
      r.hasNode = ne->node != nullptr;
    }
    delete e;
  }
  return r;
}

}  // namespace

TEST(StreamWait, DataAlreadyQueuedEndsTheWaitWithoutPolling) {
  static StopFlag stop;
  FakeEnvironment env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  EXPECT_TRUE(waiter.waitForData([] { return true; }, 0, true, 766));
  waiter.waitFirstMessage([] { return true; }, 737);
  EXPECT_EQ(env.pauses, 0);
}

TEST(StreamWait, SilenceLongerThanTheKillTimeEndsTheWait) {
  for (long long kill : {0LL, 500000LL, 8999999LL, 9000000LL, 9500000LL, 15000000LL}) {
    static StopFlag stop;
    FakeEnvironment env;
    StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
    const std::int64_t start = env.now;
    EXPECT_FALSE(waiter.waitForData([] { return false; }, kill, true, 766)) << kill;
    // Every time-out means what it says, also past 9 s: the silence is
    // measured on a steady clock, not on a 10-second wall-clock cycle.
    EXPECT_GT(env.now - start, kill) << kill;
    EXPECT_LE(env.now - start, kill + 2 * env.step) << kill;
  }
}

TEST(StreamWait, ANegativeKillTimeEndsTheWaitOnItsFirstPass) {
  static StopFlag stop;
  FakeEnvironment env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  EXPECT_FALSE(waiter.waitForData([] { return false; }, -1, true, 766));
  EXPECT_EQ(env.pauses, 1);
}

TEST(StreamWait, WithoutKillNetworkTheWaitLastsUntilData) {
  static StopFlag stop;
  FakeEnvironment env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  long polls = 0;
  EXPECT_TRUE(waiter.waitForData([&] { return ++polls > 400000; }, 10, false, 766));
  EXPECT_EQ(env.pauses, 400000);
}

TEST(StreamWait, AStopSignalMakesAWaitingNodeGiveUp) {
  static StopFlag stop;
  FakeEnvironment env;
  env.stopAfter = 1000;
  env.flagToSet = &stop;
  StreamWaiter waiter("mic_stream", stop, "MurvMsgsStreamFromRos", env);
  Failure f = failureOf([&] { waiter.waitForData([] { return false; }, 0, false, 807); });
  EXPECT_TRUE(f.thrown);
  EXPECT_EQ(f.message, "mic_stream Force-quit...");
  EXPECT_EQ(f.file, "MurvMsgsStreamFromRos");
  EXPECT_EQ(f.line, 807);
  EXPECT_FALSE(f.hasNode);
  EXPECT_EQ(env.pauses, 1000);

  // The flag stays set: every later wait gives up at its first test, the
  // first-message wait with its own line; data already there still passes.
  Failure first = failureOf([&] { waiter.waitFirstMessage([] { return false; }, 737); });
  EXPECT_EQ(first.line, 737);
  EXPECT_EQ(env.pauses, 1000);
  EXPECT_TRUE(waiter.waitForData([] { return true; }, 0, false, 807));
}

TEST(StreamWait, ATimeOutDueBeforeTheStopTestWins) {
  static StopFlag stop;
  stop.set();
  FakeEnvironment env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  EXPECT_FALSE(waiter.waitForData([] { return false; }, -5, true, 766));
}

TEST(StreamWait, RosGoingAwayEndsAWaitWithANodeException) {
  static StopFlag stop;
  FakeEnvironment env;
  env.ros = false;
  StreamWaiter waiter("stream", stop, "AudioStreamFromRos", env);
  Failure f = failureOf([&] { waiter.waitFirstMessage([] { return false; }, 42); });
  EXPECT_TRUE(f.thrown);
  EXPECT_EQ(f.file, "AudioStreamFromRos");
  EXPECT_NE(f.message.find("ROS has been shut down"), std::string::npos) << f.message;
}

TEST(StreamWait, RealClockTimeOutIsNoEarlierThanTheKillTime) {
  static StopFlag stop;
  class NoRos : public WaitEnvironment {
  public:
    std::int64_t nowMicros() override { return realWaitEnvironment().nowMicros(); }
    void pause() override { realWaitEnvironment().pause(); }
    bool rosRunning() override { return true; }
  } env;
  StreamWaiter waiter("stream", stop, "MurvMsgsStreamFromRos", env);
  auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(waiter.waitForData([] { return false; }, 30000, true, 766));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::microseconds(30000));
}

// Signals are delivered to the process, and flags are never cleared: each
// case runs in a child process of its own.
int raiseAndCheckFlags(int sig) {
  static StopFlag classA;
  static StopFlag classB;
  installStopSignals();
  installStopSignals();  // a second node's constructor installs again
  if (classA.isSet() || classB.isSet()) return 3;
  raise(sig);
  return classA.isSet() && classB.isSet() ? 0 : 1;
}

TEST(StopSignals, SigintAndSighupStopEveryStreamNodeClass) {
  for (int sig : {SIGINT, SIGHUP}) {
    EXPECT_EXIT(_exit(raiseAndCheckFlags(sig)), testing::ExitedWithCode(0), "") << "signal " << sig;
  }
}
